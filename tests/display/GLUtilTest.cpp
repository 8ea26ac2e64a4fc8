// The GL drawing helpers in a real offscreen context (Mesa's software renderer under the
// virtual display), drawing into a framebuffer object that is read back.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <memory>
#include <string>

#include "display/GLUtil.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

using namespace vpcore;

namespace {

// Mesa's driver keeps a few blocks of its start-up for the whole process; what this thread
// allocates while one of these lives is not reported as a leak.
class DriverAllocations {
public:
    DriverAllocations() {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
    }
    ~DriverAllocations() {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
    }
};

constexpr int kWidth = 256;
constexpr int kHeight = 128;

class GLUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        DriverAllocations driverStartUp;
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        format.setVersion(2, 1);
        surface.setFormat(format);
        surface.create();
        context.setFormat(format);
        if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
            GTEST_SKIP() << "no OpenGL context here";
        }
        if (!GLUtil::initGlut()) {
            GTEST_SKIP() << "no X display for GLUT";
        }
        fbo = std::make_unique<QOpenGLFramebufferObject>(kWidth, kHeight);
        fbo->bind();
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        // The driver finishes starting up on the first drawing.
        GLUtil::renderBitmapString("x", FONT_SIZE_10, 14.0f);
        glFinish();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3f(1.0f, 1.0f, 1.0f);
    }
    void TearDown() override {
        if (fbo) {
            fbo->release();
            fbo.reset();
        }
        context.doneCurrent();
    }

    // One unit per pixel, origin at the bottom left, as the alert text area draws.
    static void pixelProjection() {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0, kWidth, 0, kHeight);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    static void rasterPosition(GLfloat* out) { glGetFloatv(GL_CURRENT_RASTER_POSITION, out); }

    // Lit pixels between x0 and x1 (window coordinates, bottom-up) in the framebuffer.
    int litPixels(int x0, int y0, int x1, int y1) {
        const QImage image = fbo->toImage();  // top-down
        int lit = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (qRed(image.pixel(x, kHeight - 1 - y)) > 128) {
                    ++lit;
                }
            }
        }
        return lit;
    }

    QOffscreenSurface surface;
    QOpenGLContext context;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
};

TEST_F(GLUtilTest, EachSizeDrawsWithItsGlutFontFromTheRasterPosition) {
    struct Case {
        int size;
        void* font;
    };
    const Case cases[] = {
        {FONT_SIZE_10, GLUT_BITMAP_HELVETICA_10},
        {FONT_SIZE_13, GLUT_BITMAP_8_BY_13},
        {FONT_SIZE_15, GLUT_BITMAP_9_BY_15},
        {7, GLUT_BITMAP_HELVETICA_10},
    };
    const std::string text = "-40 Wm";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        glClear(GL_COLOR_BUFFER_BIT);
        pixelProjection();
        glRasterPos2f(20.0f, 60.0f);
        GLUtil::renderBitmapString(text, static_cast<FontPointSize_t>(c.size), 14.0f);

        GLfloat end[4];
        rasterPosition(end);
        const int width =
            glutBitmapLength(c.font, reinterpret_cast<const unsigned char*>(text.c_str()));
        EXPECT_FLOAT_EQ(end[0], 20.0f + width);
        EXPECT_FLOAT_EQ(end[1], 60.0f);  // one line: no move down
        EXPECT_GT(litPixels(20, 55, 20 + width, 75), 0);
        EXPECT_EQ(litPixels(20 + width + 2, 0, kWidth, kHeight), 0);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLUtilTest, ALineFeedStartsANewLineBelowWhereTheCallBegan) {
    pixelProjection();
    glRasterPos2f(30.0f, 100.0f);
    GLUtil::renderBitmapString("ab\ncd\n\nW", FONT_SIZE_13, 14.0f);

    GLfloat end[4];
    rasterPosition(end);
    EXPECT_FLOAT_EQ(end[0], 30.0f + 8.0f);  // after the "W" of the fourth line, 8 wide
    EXPECT_FLOAT_EQ(end[1], 100.0f - 3 * 14.0f);
    EXPECT_GT(litPixels(30, 97, 46, 112), 0);  // "ab"
    EXPECT_GT(litPixels(30, 83, 46, 98), 0);   // "cd"
    EXPECT_EQ(litPixels(46, 0, kWidth, kHeight), 0);
}

TEST_F(GLUtilTest, LineFeedsWorkUnderTheGaugesPerspectiveToo) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 2.0, 1.0, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -5.0f);
    glScalef(1.9f, 1.9f, 1.9f);
    glRasterPos3f(-0.3f, 0.1f, 0.4f);
    GLfloat start[4];
    rasterPosition(start);
    GLboolean valid = GL_FALSE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    ASSERT_TRUE(valid);

    GLUtil::renderBitmapString("12\n3", FONT_SIZE_10, 14.0f);

    GLfloat end[4];
    rasterPosition(end);
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    EXPECT_TRUE(valid);
    const int width3 = glutBitmapWidth(GLUT_BITMAP_HELVETICA_10, '3');
    EXPECT_FLOAT_EQ(end[0], start[0] + width3);
    EXPECT_FLOAT_EQ(end[1], start[1] - 14.0f);
    EXPECT_FLOAT_EQ(end[2], start[2]);
}

TEST_F(GLUtilTest, NonAsciiTextDrawsOneGlyphACharacterFromTheFontsLatin1Range) {
    struct Case {
        std::string text;    // UTF-8, as the feeds' texts come
        std::string glyphs;  // the font's characters it must draw
    };
    const Case cases[] = {
        {"caf\xc3\xa9", "caf\xe9"},
        {"40\xc2\xb0"
         "F",
         "40\xb0"
         "F"},
        {"6 AM \xe2\x80\x93 6 PM", "6 AM - 6 PM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.glyphs);
        glClear(GL_COLOR_BUFFER_BIT);
        pixelProjection();
        glRasterPos2f(20.0f, 60.0f);
        GLUtil::renderBitmapString(c.text, FONT_SIZE_13, 14.0f);
        GLfloat end[4];
        rasterPosition(end);
        const int width = glutBitmapLength(
            GLUT_BITMAP_8_BY_13, reinterpret_cast<const unsigned char*>(c.glyphs.c_str()));
        EXPECT_FLOAT_EQ(end[0], 20.0f + width);
        EXPECT_EQ(width, 8 * static_cast<int>(c.glyphs.size())) << "one cell a character";
        const QImage drawn = fbo->toImage();

        // The same pixels as the font's own glyphs drawn byte by byte.
        glClear(GL_COLOR_BUFFER_BIT);
        glRasterPos2f(20.0f, 60.0f);
        for (const char glyph : c.glyphs) {
            glutBitmapCharacter(GLUT_BITMAP_8_BY_13, static_cast<unsigned char>(glyph));
        }
        EXPECT_TRUE(drawn == fbo->toImage());
        EXPECT_GT(litPixels(20, 55, 20 + width, 75), 0);
    }
    // The accented letter has a glyph of its own, not the plain letter's.
    glClear(GL_COLOR_BUFFER_BIT);
    glRasterPos2f(20.0f, 60.0f);
    GLUtil::renderBitmapString("\xc3\xa9", FONT_SIZE_13, 14.0f);
    const QImage accented = fbo->toImage();
    glClear(GL_COLOR_BUFFER_BIT);
    glRasterPos2f(20.0f, 60.0f);
    GLUtil::renderBitmapString("e", FONT_SIZE_13, 14.0f);
    EXPECT_FALSE(accented == fbo->toImage());
}

TEST_F(GLUtilTest, CirclePlaneIsADiscAtTheMirroredCentreAndLeavesTheMatrixAlone) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2.0, 2.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 0.0f, 0.0f);
    GLUtil::drawCirclePlane(Vector3D(1.0f, 0.5f, 0.0f), 0.25f);

    // Centre (1, -0.5): window (192, 32); radius 0.25 is 16 pixels.
    EXPECT_GT(litPixels(186, 26, 198, 38), 140);
    EXPECT_EQ(litPixels(186, 90, 198, 102), 0);  // where an unmirrored centre would be
    EXPECT_EQ(litPixels(0, 0, 160, kHeight), 0);

    // With a matrix like the gauge's (moved, scaled, turned) the call puts it back exactly.
    glTranslatef(0.0f, 0.0f, -5.0f);
    glScalef(1.9f, 1.9f, 1.9f);
    glRotatef(37.0f, 0.0f, 1.0f, 0.0f);
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    GLUtil::drawCirclePlane(Vector3D(0.0f, 0.01f, 0.39f), 0.25f);
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(after[i], before[i]) << "element " << i;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(GLUtilInitTest, GlutInitialisationIsSafeToRepeat) {
    const bool first = GLUtil::initGlut();
    EXPECT_EQ(GLUtil::initGlut(), first);
    EXPECT_EQ(GLUtil::initGlut(), first);
}

TEST(GLUtilFontTextTest, Utf8BecomesTheFontsLatin1OrACloseStandIn) {
    struct Case {
        std::string utf8;
        std::string expected;
    };
    const Case cases[] = {
        {"plain ASCII 0-9\n", "plain ASCII 0-9\n"},
        {"", ""},
        // Latin-1 characters: their own byte.
        {"caf\xc3\xa9 \xc3\xa0 \xc3\xb1", "caf\xe9 \xe0 \xf1"},
        {"75\xc2\xb0"
         "F \xc2\xbd mile \xc2\xa0",
         "75\xb0"
         "F \xbd mile \xa0"},
        {"\xc3\xbf", "\xff"},
        // Beyond Latin-1: a close stand-in.
        {"6 AM \xe2\x80\x93 6 PM \xe2\x80\x94 or so", "6 AM - 6 PM - or so"},
        {"\xe2\x88\x92"
         "5",
         "-5"},
        {"\xe2\x80\x98quoted\xe2\x80\x99 \xe2\x80\x9c"
         "double\xe2\x80\x9d",
         "'quoted' \"double\""},
        {"wait\xe2\x80\xa6", "wait..."},
        {"\xe2\x80\xa2 item", "* item"},
        {"thin\xe2\x80\x89space", "thin space"},
        {"\xef\xbb\xbfzero\xe2\x80\x8bwidth", "zerowidth"},
        {"\xe2\x82\xac"
         "5",
         "EUR5"},
        // No stand-in: "?" per character, whatever its length.
        {"\xe2\x98\x83 snow", "? snow"},
        {"\xf0\x9f\x8c\xa7 rain", "? rain"},
        {"\xc2\x85", "?"},  // a C1 control
        // Not UTF-8: "?" for each broken piece, and the text goes on.
        {"\xe9t\xe9!", "?t?!"},     // Latin-1 bytes
        {"\x80\xbf", "??"},         // continuations without a lead
        {"\xc0\xaf", "??"},         // a lead byte UTF-8 never uses
        {"\xe0\x80\xaf", "?"},      // overlong
        {"\xed\xa0\x80", "?"},      // a surrogate half
        {"\xf4\x90\x80\x80", "?"},  // beyond U+10FFFF
        {"\xe2\x80"
         "x",
         "?x"},  // cut short by a byte that does not continue it
        // Cut short by the end of the text, as the reveal cuts it: nothing yet.
        {"ab\xe2\x80", "ab"},
        {"ab\xc3", "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(GLUtil::fontText(c.utf8), c.expected);
    }
}

}  // namespace
