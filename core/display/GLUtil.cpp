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

// The stand-in for a character beyond Latin-1; "?" when there is none closer.
const char* standIn(char32_t c) {
    switch (c) {
        case 0x2010:  // hyphen
        case 0x2011:  // non-breaking hyphen
        case 0x2012:  // figure dash
        case 0x2013:  // en dash
        case 0x2014:  // em dash
        case 0x2015:  // horizontal bar
        case 0x2212:  // minus sign
            return "-";
        case 0x2018:
        case 0x2019:
        case 0x201A:
        case 0x201B:
        case 0x2032:  // prime
            return "'";
        case 0x201C:
        case 0x201D:
        case 0x201E:
        case 0x201F:
        case 0x2033:  // double prime
            return "\"";
        case 0x2026:
            return "...";
        case 0x2022:  // bullet
        case 0x2219:
            return "*";
        case 0x2039:
            return "<";
        case 0x203A:
            return ">";
        case 0x2122:
            return "TM";
        case 0x20AC:
            return "EUR";
        case 0x200B:  // zero width space, joiners, marks and the byte order mark draw nothing
        case 0x200C:
        case 0x200D:
        case 0x200E:
        case 0x200F:
        case 0x2060:
        case 0xFEFF:
            return "";
        default:
            break;
    }
    if ((c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000) {
        return " ";  // the spaces of other widths
    }
    return "?";
}

}  // namespace

std::string GLUtil::fontText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const std::size_t size = utf8.size();
    std::size_t i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            least = 0x10000;
        }
        if (length == 0) {
            // A continuation byte without its lead, or a lead byte UTF-8 never uses.
            out += '?';
            ++i;
            continue;
        }
        std::size_t taken = 1;
        while (taken < length && i + taken < size &&
               (static_cast<unsigned char>(utf8[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
            ++taken;
        }
        if (taken < length) {
            if (i + taken == size) {
                break;  // cut short by the end of the text: the rest comes with the next part
            }
            out += '?';  // cut short by a byte that does not continue it
            i += taken;
            continue;
        }
        i += taken;
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += '?';  // overlong, beyond Unicode or a surrogate half
        } else if (c >= 0xA0 && c <= 0xFF) {
            out += static_cast<char>(c);
        } else {
            out += standIn(c);  // C1 controls (0x80 to 0x9F) draw "?" too
        }
    }
    return out;
}

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
    for (const char byte : fontText(text)) {
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
