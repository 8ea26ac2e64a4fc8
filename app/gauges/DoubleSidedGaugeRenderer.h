// One round gauge of the main window, drawn with fixed-function OpenGL (through the shared
// offscreen context of GLFrameWidget): a front and a back
// face (two gauge view models, e.g. Fahrenheit and Celsius), turned over by a mouse press in
// an animated flip. GUI thread only; the models are fed on the notifying thread and tell the
// widget through their change delegates once they hold a new value; the widget repaints only
// while it flips or after a value it shows has changed.
#pragma once

#include <qopengl.h>
#include <memory>
#include <string>

#include "display/AnimationObject.h"
#include "display/IGaugeViewModel.h"
#include "display/Vector3D.h"
#include "gauges/GLFrameWidget.h"

class QEvent;
class QImage;
class QMouseEvent;

class DoubleSidedGaugeRenderer : public GLFrameWidget {
    Q_OBJECT

public:
    // Viewport and perspective aspect of a widget of width by height pixels: a height below 1
    // counts as 1, and the aspect is the integer quotient width / height.
    struct Projection_t {
        int viewportWidth;
        int viewportHeight;
        float aspect;
    };
    static Projection_t projectionFor(int width, int height);

    // Takes both models over (back may be null; front may not: std::invalid_argument) and
    // builds their views.
    DoubleSidedGaugeRenderer(QWidget* parent, vpcore::IGaugeViewModel* front,
                             vpcore::IGaugeViewModel* back);
    ~DoubleSidedGaugeRenderer() override;

    DoubleSidedGaugeRenderer(const DoubleSidedGaugeRenderer&) = delete;
    DoubleSidedGaugeRenderer& operator=(const DoubleSidedGaugeRenderer&) = delete;

    // The two delegates of the flip animation, called by the animation manager's frames.
    void animationStep();
    void repaintStep();

    // Loads an image already in GL format (RGBA, bottom row first) into the bound texture.
    static void uploadTexture(const QImage& image, GLenum target, bool mipmaps);

protected:
    void initializeGL() override;
    void setUpGLState() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    friend class DoubleSidedGaugeRendererTestAccess;

    // What a face shows that a new value can change; a repaint is due when it differs from
    // what the last frame drew.
    struct FaceState_t {
        vpcore::Vector3D needle;
        std::string digitalValue;
        std::string toolTip;
        bool operator==(const FaceState_t& other) const;
    };

    void drawBody();
    void drawFace(int face);
    void drawNeedle(int face);
    void drawRim();

    vpcore::IGaugeViewModel* modelOf(int face) const;
    FaceState_t stateOf(int face) const;
    void startAnimation();
    void stopAnimation();
    void repaintIfChanged();

    // A model's change delegate, on the notifying thread: only an event is posted, after the
    // model holds the new value, so the faces compared on the GUI thread show it.
    void postValueChanged();

    GLuint textures[3] = {0, 0, 0};  // front background, back plate, face plate
    float angle = 0.0f;              // degrees about Y: 0 front, 180 back
    std::unique_ptr<vpcore::IGaugeViewModel> frontModel;
    std::unique_ptr<vpcore::IGaugeViewModel> backModel;  // may be null
    int side = 0;                                        // shown side: 0 front, 1 back
    bool flipping = false;
    std::unique_ptr<vpcore::AnimationObject> animation;

    bool animating = false;  // the animation object is registered with the manager
    // The front model's background in GL format; the model hands it out only once.
    std::unique_ptr<QImage> background;
    FaceState_t painted[2];  // what the last frame drew, per face
};
