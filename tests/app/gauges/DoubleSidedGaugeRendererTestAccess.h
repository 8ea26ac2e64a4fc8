// Reads the flip state of a gauge and draws one frame of it on demand, for the gauge tests and
// the frame benchmark. GUI thread only.
#pragma once

#include <GL/gl.h>

#include <QImage>
#include <QSize>

#include "gauges/DoubleSidedGaugeRenderer.h"

class DoubleSidedGaugeRendererTestAccess {
public:
    static float angle(const DoubleSidedGaugeRenderer& gauge) { return gauge.angle; }
    static int side(const DoubleSidedGaugeRenderer& gauge) { return gauge.side; }
    static bool flipping(const DoubleSidedGaugeRenderer& gauge) { return gauge.flipping; }
    // Whether the gauge takes frames from the animation manager.
    static bool animating(const DoubleSidedGaugeRenderer& gauge) { return gauge.animating; }

    // One frame into the widget's framebuffer, finished on the GL side; the widget must have
    // been drawn once (its GL set-up done).
    static void drawFrame(DoubleSidedGaugeRenderer& gauge) {
        gauge.makeCurrent();
        gauge.paintGL();
        glFinish();
        gauge.doneCurrent();
    }

    // One frame read back with the framebuffer's own alpha, which the window composes by
    // (grabFramebuffer drops it); top row first.
    static QImage drawFrameWithAlpha(DoubleSidedGaugeRenderer& gauge) {
        gauge.makeCurrent();
        gauge.paintGL();
        const QSize size = gauge.size() * gauge.devicePixelRatio();
        QImage image(size, QImage::Format_RGBA8888);
        glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
        gauge.doneCurrent();
        return image.mirrored();
    }
};
