// A plain widget whose picture is drawn with fixed-function OpenGL into a framebuffer of its
// own and then painted like an image. Every such widget of the program shares one offscreen
// context, so the window itself stays a raster window: repainting a label next to it costs no
// GL work, and the GL driver holds one context instead of one per widget. Each paint event
// draws a new frame (update() and repaint() work as for any widget). GUI thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class QOpenGLFramebufferObject;
class QPaintEvent;

class GLFrameWidget : public QWidget {
    Q_OBJECT

public:
    explicit GLFrameWidget(QWidget* parent);
    ~GLFrameWidget() override;

    // Draws a frame now and returns it (opaque, top row first); null without GL.
    QImage grabFramebuffer();

    // Makes the shared context current with this widget's framebuffer bound, its state set
    // up and its projection applied; false without GL. doneCurrent releases it.
    bool makeCurrent();
    void doneCurrent();

protected:
    // Once per widget, the context current: textures and other objects of its own.
    virtual void initializeGL() {}
    // Before each frame: the fixed-function state this widget draws with, as the context
    // is shared with other widgets.
    virtual void setUpGLState() {}
    // Before each frame: viewport and projection for the widget's size in pixels.
    virtual void resizeGL(int width, int height);
    virtual void paintGL() {}

    void paintEvent(QPaintEvent* event) override;

private:
    struct SharedContext_t;

    // One frame into the framebuffer, read back into `frame`.
    void renderFrame();

    std::shared_ptr<SharedContext_t> shared;
    std::unique_ptr<QOpenGLFramebufferObject> framebuffer;
    bool initialized = false;  // initializeGL has run
    QImage frame;              // the last frame drawn
};
