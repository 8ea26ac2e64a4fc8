#include "gauges/GLFrameWidget.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QPaintEvent>
#include <QPainter>
#include <QSurfaceFormat>

#include "services/Logger.h"

struct GLFrameWidget::SharedContext_t {
    QOffscreenSurface surface;
    QOpenGLContext context;
    bool valid = false;
};

namespace {

// Kept while a widget holds it: the last widget to go takes the context with it, before the
// application (and its display connection) ends.
std::weak_ptr<void>& sharedSlot() {
    static std::weak_ptr<void> slot;
    return slot;
}

}  // namespace

GLFrameWidget::GLFrameWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

GLFrameWidget::~GLFrameWidget() {
    if (framebuffer && shared && shared->valid && shared->context.makeCurrent(&shared->surface)) {
        framebuffer.reset();
        shared->context.doneCurrent();
    }
}

bool GLFrameWidget::makeCurrent() {
    if (!shared) {
        std::shared_ptr<void> existing = sharedSlot().lock();
        if (existing) {
            shared = std::static_pointer_cast<SharedContext_t>(existing);
        } else {
            shared = std::make_shared<SharedContext_t>();
            sharedSlot() = shared;
            // The drawing is fixed-function GL, which a core profile does not have.
            QSurfaceFormat format = QSurfaceFormat::defaultFormat();
            format.setRenderableType(QSurfaceFormat::OpenGL);
            format.setProfile(QSurfaceFormat::CompatibilityProfile);
            format.setVersion(2, 1);
            shared->surface.setFormat(format);
            shared->surface.create();
            shared->context.setFormat(format);
            shared->valid = shared->surface.isValid() && shared->context.create();
            if (!shared->valid) {
                vpcore::Logger::Instance().log("WARN", "No OpenGL context: gauges are not drawn.");
            }
        }
    }
    if (!shared->valid || !shared->context.makeCurrent(&shared->surface)) {
        return false;
    }
    const QSize pixels = size() * devicePixelRatioF();
    const QSize target(std::max(pixels.width(), 1), std::max(pixels.height(), 1));
    if (!framebuffer || framebuffer->size() != target) {
        framebuffer.reset();
        framebuffer = std::make_unique<QOpenGLFramebufferObject>(
            target, QOpenGLFramebufferObject::CombinedDepthStencil);
    }
    framebuffer->bind();
    if (!initialized) {
        initialized = true;
        initializeGL();
    }
    setUpGLState();
    resizeGL(width(), height());
    return true;
}

void GLFrameWidget::doneCurrent() {
    if (framebuffer) {
        framebuffer->release();
    }
    if (shared && shared->valid) {
        shared->context.doneCurrent();
    }
}

void GLFrameWidget::resizeGL(int width, int height) {
    const qreal ratio = devicePixelRatioF();
    shared->context.functions()->glViewport(0, 0, static_cast<int>(width * ratio),
                                            static_cast<int>(height * ratio));
}

void GLFrameWidget::renderFrame() {
    if (!makeCurrent()) {
        frame = QImage();
        return;
    }
    paintGL();
    // Opaque: the gauges leave no translucent pixel, and an opaque image paints fastest.
    frame = framebuffer->toImage(true).convertToFormat(QImage::Format_RGB32);
    frame.setDevicePixelRatio(devicePixelRatioF());
    doneCurrent();
}

QImage GLFrameWidget::grabFramebuffer() {
    renderFrame();
    return frame;
}

void GLFrameWidget::paintEvent(QPaintEvent* event) {
    renderFrame();
    QPainter painter(this);
    if (frame.isNull()) {
        painter.fillRect(event->rect(), palette().window());
        return;
    }
    painter.drawImage(QPoint(0, 0), frame);
}
