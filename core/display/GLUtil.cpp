#include "display/GLUtil.h"

// glWindowPos3f (OpenGL 1.4) is declared by glext.h only with prototypes enabled.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <xcb/xcb.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <mutex>

#include "services/Logger.h"

namespace vpcore {

namespace {

void* glutFont(FontPointSize_t size) {
    switch (size) {
        case FONT_SIZE_13:
            return GLUT_BITMAP_8_BY_13;
        case FONT_SIZE_15:
            return GLUT_BITMAP_9_BY_15;
        default:
            return GLUT_BITMAP_HELVETICA_10;
    }
}

// The query that reads the matrix the current matrix mode changes; 0 for none we know.
GLenum currentMatrixQuery() {
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    switch (mode) {
        case GL_MODELVIEW:
            return GL_MODELVIEW_MATRIX;
        case GL_PROJECTION:
            return GL_PROJECTION_MATRIX;
        case GL_TEXTURE:
            return GL_TEXTURE_MATRIX;
        default:
            return 0;
    }
}

}  // namespace

bool GLUtil::initGlut() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] {
        // freeglut opens the X display itself and ends the process when it cannot.
        // (Probed through xcb: opening and closing an Xlib display leaks a little memory.)
        xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
        const bool reachable = xcb_connection_has_error(probe) == 0;
        xcb_disconnect(probe);
        if (!reachable) {
            Logger::Instance().log("WARN", "No X display for GLUT: gauge texts are not drawn.");
            return;
        }
        int argc = 1;
        char name[] = "Ombrix";
        char* argv[] = {name, nullptr};
#if defined(__SANITIZE_ADDRESS__)
        // The GL driver that GLUT loads keeps a few blocks it never frees.
        __lsan_disable();
        glutInit(&argc, argv);
        __lsan_enable();
#else
        glutInit(&argc, argv);
#endif
        initialised = true;
    });
    return initialised;
}

void GLUtil::renderBitmapString(const std::string& text, FontPointSize_t size, float lineSpacing) {
    const bool canDraw = initGlut();
    void* font = glutFont(size);
    GLfloat position[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
    const GLfloat lineStart = position[0];
    for (const char byte : text) {
        if (byte == '\n') {
            // The raster position reads back in window coordinates, so it is set again in
            // window coordinates: a new line then works under any projection.
            glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
            glWindowPos3f(lineStart, position[1] - lineSpacing, position[2]);
        } else if (canDraw) {
            glutBitmapCharacter(font, static_cast<unsigned char>(byte));
        }
    }
}

void GLUtil::drawCirclePlane(const Vector3D& centre, float radius) {
    // Translating there and back again leaves rounding errors in a scaled or rotated matrix;
    // the matrix is put back exactly instead.
    const GLenum matrixQuery = currentMatrixQuery();
    GLfloat saved[16];
    if (matrixQuery != 0) {
        glGetFloatv(matrixQuery, saved);
    }

    glTranslatef(centre.x, -centre.y, centre.z);
    GLUquadric* quadric = gluNewQuadric();
    if (quadric != nullptr) {
        gluDisk(quadric, 0.0, radius, 32, 32);
        gluDeleteQuadric(quadric);
    }
    glTranslatef(-centre.x, centre.y, -centre.z);

    glPointSize(0.02f);
    glTranslatef(centre.x, -centre.y, 0.0f);
    glBegin(GL_POINTS);
    const float rim = radius + 0.002f;
    for (int degree = 0; degree < 360; ++degree) {
        const float angle = degree * 0.01745328f;
        glVertex3f(std::cos(angle) * rim, std::sin(angle) * rim, centre.z);
    }
    glEnd();
    glTranslatef(-centre.x, centre.y, 0.0f);

    if (matrixQuery != 0) {
        glLoadMatrixf(saved);
    }
}

}  // namespace vpcore
