// Two drawing helpers the gauge widget and the alert text area call inside their paint code:
// GLUT bitmap text at the raster position, and the needle hub's disc. GUI thread only, with
// the widget's GL context current.
#pragma once

#include <string>

#include "display/Vector3D.h"
#include "services/VpCoreExport.h"

namespace vpcore {

// A fixed underlying type, so that any int (7 draws HELVETICA_10) is a valid value.
enum FontPointSize_t : int { FONT_SIZE_10 = 0, FONT_SIZE_13 = 1, FONT_SIZE_15 = 2 };

class VPCORE_EXPORT GLUtil {
public:
    // Draws text (UTF-8, as fontText takes it) with the GLUT bitmap font of size
    // (HELVETICA_10, 8_BY_13, 9_BY_15; HELVETICA_10 for any other value) from the current
    // raster position; a line feed moves lineSpacing pixels down, back to the x where the
    // call began.
    static void renderBitmapString(const std::string& text, FontPointSize_t size,
                                   float lineSpacing);

    // The UTF-8 text as the bitmap fonts can draw it, one byte a character of Latin-1 (the
    // range the fonts have): characters beyond it become a close stand-in (dashes "-", curly
    // quotes straight ones, an ellipsis "...", odd spaces a blank), and anything else "?", as
    // do bytes that are not UTF-8. A sequence cut short at the end of the text (a text typed
    // out part way) yields nothing.
    static std::string fontText(const std::string& utf8);

    // A filled disc of the given radius with a dotted rim, centred on (c.x, -c.y, c.z): the y
    // of the centre is mirrored. Colours, blending and depth are the caller's; the current
    // matrix is as it was when the call returns.
    static void drawCirclePlane(const Vector3D& centre, float radius);

    // Runs glutInit once per process, which GLUT's fonts need; safe to call any number of
    // times. False when there is no X display for GLUT to open: text is then not drawn.
    static bool initGlut();
};

}  // namespace vpcore
