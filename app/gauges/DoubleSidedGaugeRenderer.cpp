#include "gauges/DoubleSidedGaugeRenderer.h"

#include <GL/glu.h>

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "display/AnimationManager.h"
#include "display/GLUtil.h"
#include "display/TickDisplay.h"
#include "services/FastDelegate.h"
#include "services/Logger.h"
#include "widgets/VPDataEvent.h"

using namespace vpcore;

namespace {

constexpr float kStepIntervalMs = 15.0f;
constexpr float kStepDegrees = 3.0f;

QImage toGLFormat(const QImage& image) {
    if (image.isNull()) {
        return QImage();
    }
    return image.convertToFormat(QImage::Format_RGBA8888).mirrored();
}

// The quad of a face towards +z at depth, and its mirror image towards -z, with the texture
// the right way round from either side.
void frontQuad(float depth) {
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, depth);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, depth);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, depth);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, depth);
}
void backQuad(float depth) {
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, depth);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, depth);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, depth);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, depth);
}

}  // namespace

bool DoubleSidedGaugeRenderer::FaceState_t::operator==(const FaceState_t& other) const {
    return needle == other.needle && digitalValue == other.digitalValue && toolTip == other.toolTip;
}

DoubleSidedGaugeRenderer::Projection_t DoubleSidedGaugeRenderer::projectionFor(int width,
                                                                               int height) {
    const int h = std::max(height, 1);
    const int w = std::max(width, 0);
    float aspect = static_cast<float>(w / h);
    // A widget narrower than high would get the aspect 0, a projection that shows nothing.
    if (aspect < 1.0f) {
        aspect = static_cast<float>(std::max(w, 1)) / static_cast<float>(h);
    }
    return Projection_t{w, h, aspect};
}

DoubleSidedGaugeRenderer::DoubleSidedGaugeRenderer(QWidget* parent, IGaugeViewModel* front,
                                                   IGaugeViewModel* back)
    : GLFrameWidget(parent), frontModel(front), backModel(back) {
    if (frontModel == nullptr) {
        backModel.reset();
        throw std::invalid_argument("A gauge needs a front model.");
    }

    animation = std::make_unique<AnimationObject>(
        kStepIntervalMs,
        fastdelegate::FastDelegate0<>(this, &DoubleSidedGaugeRenderer::animationStep),
        fastdelegate::FastDelegate0<>(this, &DoubleSidedGaugeRenderer::repaintStep));

    frontModel->constructView();
    if (backModel) {
        backModel->constructView();
        setCursor(Qt::PointingHandCursor);
    }
    setProperty("playsound", QStringLiteral("whirl"));

    const fastdelegate::FastDelegate0<> changed(this, &DoubleSidedGaugeRenderer::postValueChanged);
    frontModel->setChangeDelegate(changed);
    if (backModel) {
        backModel->setChangeDelegate(changed);
    }
}

DoubleSidedGaugeRenderer::~DoubleSidedGaugeRenderer() {
    // Waits for a delegate call under way: none reaches this widget afterwards.
    frontModel->setChangeDelegate(fastdelegate::FastDelegate0<>());
    if (backModel) {
        backModel->setChangeDelegate(fastdelegate::FastDelegate0<>());
    }
    stopAnimation();
    if (textures[0] != 0 && makeCurrent()) {
        glDeleteTextures(3, textures);
        doneCurrent();
    }
    frontModel.reset();
    backModel.reset();
    animation.reset();
}

void DoubleSidedGaugeRenderer::uploadTexture(const QImage& image, GLenum target, bool mipmaps) {
    if (image.isNull()) {
        return;
    }
    if (mipmaps) {
        gluBuild2DMipmaps(target, GL_RGB8, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                          image.constBits());
    } else {
        glTexImage2D(target, 0, GL_RGBA, image.width(), image.height(), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, image.constBits());
    }
}

void DoubleSidedGaugeRenderer::setUpGLState() {
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    // Colours blend by the source alpha; alpha itself adds up, so that the framebuffer stays
    // opaque over the body. The window composes the widget by that alpha, and a dial that
    // left it below 1 would show as garbage there.
    QOpenGLContext::currentContext()->functions()->glBlendFuncSeparate(
        GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
}

void DoubleSidedGaugeRenderer::initializeGL() {
    glGenTextures(3, textures);

    if (!background) {
        std::unique_ptr<QImage> taken = frontModel->takeBackgroundImage();
        if (taken && !taken->isNull()) {
            background = std::make_unique<QImage>(toGLFormat(*taken));
        }
    }
    std::unique_ptr<QImage> backPlate = frontModel->getBackPlateImage();
    const QImage images[3] = {background ? *background : QImage(),
                              backPlate ? toGLFormat(*backPlate) : QImage(),
                              toGLFormat(QImage(QStringLiteral(":/gauge_face_plate_new.png")))};
    static const char* const names[3] = {"background", "back plate", "face plate"};
    for (int i = 0; i < 3; ++i) {
        if (images[i].isNull()) {
            Logger::Instance().log("WARN", std::string("Gauge has no ") + names[i] + " image.");
        }
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        uploadTexture(images[i], GL_TEXTURE_2D, false);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
}

void DoubleSidedGaugeRenderer::resizeGL(int width, int height) {
    const Projection_t projection = projectionFor(width, height);
    // The framebuffer has device pixels; the same on a screen of ratio 1.
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(std::lround(projection.viewportWidth * ratio)),
               static_cast<GLsizei>(std::lround(projection.viewportHeight * ratio)));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, projection.aspect, 1.0, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void DoubleSidedGaugeRenderer::paintGL() {
    painted[0] = stateOf(0);
    painted[1] = stateOf(1);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // Textures are modulated by the current colour, which nothing else may leave behind.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -5.0f);
    glScalef(1.9f, 1.9f, 1.9f);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);

    drawBody();
    drawFace(0);
    drawFace(1);
    drawRim();

    const QString tip = QString::fromStdString(painted[side].toolTip);
    if (tip != toolTip()) {
        setToolTip(tip);
    }
}

void DoubleSidedGaugeRenderer::drawBody() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glBegin(GL_QUADS);
    frontQuad(0.3f);
    backQuad(-0.3f);
    // top
    glVertex3f(-1.0f, 1.0f, -0.3f);
    glVertex3f(-1.0f, 1.0f, 0.3f);
    glVertex3f(1.0f, 1.0f, 0.3f);
    glVertex3f(1.0f, 1.0f, -0.3f);
    // bottom
    glVertex3f(-1.0f, -1.0f, -0.3f);
    glVertex3f(1.0f, -1.0f, -0.3f);
    glVertex3f(1.0f, -1.0f, 0.3f);
    glVertex3f(-1.0f, -1.0f, 0.3f);
    // right
    glVertex3f(1.0f, -1.0f, -0.3f);
    glVertex3f(1.0f, 1.0f, -0.3f);
    glVertex3f(1.0f, 1.0f, 0.3f);
    glVertex3f(1.0f, -1.0f, 0.3f);
    // left
    glVertex3f(-1.0f, -1.0f, -0.3f);
    glVertex3f(-1.0f, -1.0f, 0.3f);
    glVertex3f(-1.0f, 1.0f, 0.3f);
    glVertex3f(-1.0f, 1.0f, -0.3f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void DoubleSidedGaugeRenderer::drawRim() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures[2]);
    glBegin(GL_QUADS);
    frontQuad(0.45f);
    backQuad(-0.45f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void DoubleSidedGaugeRenderer::drawFace(int face) {
    IGaugeViewModel* model = modelOf(face);
    const float depth = face == 0 ? 0.4f : -0.4f;

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures[1]);
    // At rest the back's dial is turned with the gauge a second time, so that it faces the
    // viewer; during a flip it turns with the body.
    const bool turned = face == 1 && !flipping;
    if (turned) {
        glPushMatrix();
        glRotatef(angle, 0.0f, 1.0f, 0.0f);
    }
    glBegin(GL_QUADS);
    frontQuad(0.35f);
    glEnd();
    if (turned) {
        glPopMatrix();
    }
    glDisable(GL_TEXTURE_2D);

    GLfloat savedColour[4];
    glGetFloatv(GL_CURRENT_COLOR, savedColour);

    drawNeedle(face);

    glPointSize(2.0f);
    glTranslatef(-0.07f, -0.06f, 0.0f);
    if (model != nullptr) {
        for (const TickDisplay* tick : *model->getTicks()) {
            if (!tick->visible || tick->position == nullptr) {
                continue;
            }
            const float x = tick->position->x;
            const float y = tick->position->y;
            if (tick->colour != nullptr) {
                glColor3f(tick->colour->x, tick->colour->y, tick->colour->z);
            } else {
                glColor3f(0.0f, 0.0f, 0.0f);
            }
            if (dynamic_cast<const MajorTickDisplay*>(tick) == nullptr) {
                glBegin(GL_POINTS);
                glVertex3f(x, y, depth);
                glEnd();
                continue;
            }
            // Seen from behind, text still runs to the right: the back's labels start further
            // right so that they end up where the front's would.
            if (face == 1) {
                glTranslatef(0.12f, 0.0f, 0.0f);
            }
            glRasterPos3f(x, y, depth);
            GLUtil::renderBitmapString(tick->label, FONT_SIZE_10, 14.0f);
            if (face == 1) {
                glTranslatef(-0.12f, 0.0f, 0.0f);
            }
        }
    }
    glTranslatef(0.07f, 0.06f, 0.0f);

    if (model != nullptr) {
        glPushMatrix();
        glColor3f(1.0f, 1.0f, 1.0f);
        const std::string text = model->getDigitalValue();
        // Centred on the characters drawn, not on the bytes of their UTF-8.
        const float halfWidth = static_cast<float>(GLUtil::fontText(text).size()) * 0.05f;
        const float x = face == 0 ? -halfWidth : halfWidth;
        const float textDepth = face == 0 ? depth + 0.02f : depth - 0.02f;
        glRasterPos3f(x, -0.06f, textDepth);
        GLUtil::renderBitmapString(text, FONT_SIZE_13, 14.0f);
        glPopMatrix();
    }

    glColor4fv(savedColour);
}

void DoubleSidedGaugeRenderer::drawNeedle(int face) {
    IGaugeViewModel* model = modelOf(face);
    if (model == nullptr) {
        return;
    }
    const float needleDepth = face == 0 ? 0.38f : -0.38f;
    const float hubDepth = face == 0 ? needleDepth + 0.01f : needleDepth - 0.01f;

    glColor3f(0.5f, 0.5f, 0.5f);
    GLUtil::drawCirclePlane(Vector3D(0.0f, 0.01f, hubDepth), 0.25f);

    // The needle the frame's state was taken with, so that the comparison with the next
    // change holds for what was drawn.
    const Vector3D& end = painted[face].needle;
    glLineWidth(2.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(0.0f, 0.0f, needleDepth);
    glVertex3f(end.x, end.y, needleDepth);
    glEnd();
}

void DoubleSidedGaugeRenderer::mousePressEvent(QMouseEvent* event) {
    side = side == 0 ? 1 : 0;
    if (side == 1) {
        frontModel->setActive(false);
        if (backModel) {
            backModel->setActive(true);
        }
    } else {
        frontModel->setActive(true);
        if (backModel) {
            backModel->setActive(false);
        }
    }
    flipping = true;
    startAnimation();
    event->accept();
}

void DoubleSidedGaugeRenderer::animationStep() {
    if (!flipping) {
        return;
    }
    angle += kStepDegrees;
    if (angle >= 180.0f && side == 1) {
        angle = 180.0f;
        flipping = false;
    } else if (angle >= 360.0f) {
        angle = 0.0f;
        flipping = false;
    }
}

void DoubleSidedGaugeRenderer::repaintStep() {
    update();
    // The frame that ends a flip is the last one this widget needs; an idle gauge takes no
    // frames at all.
    if (!flipping) {
        stopAnimation();
    }
}

bool DoubleSidedGaugeRenderer::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(VPPropertyChange::eventType())) {
        repaintIfChanged();
        return true;
    }
    return GLFrameWidget::event(event);
}

IGaugeViewModel* DoubleSidedGaugeRenderer::modelOf(int face) const {
    return face == 0 ? frontModel.get() : backModel.get();
}

DoubleSidedGaugeRenderer::FaceState_t DoubleSidedGaugeRenderer::stateOf(int face) const {
    FaceState_t state;
    const IGaugeViewModel* model = modelOf(face);
    if (model == nullptr) {
        return state;
    }
    state.needle = model->getNeedleEndpoint();
    state.digitalValue = model->getDigitalValue();
    state.toolTip = model->getToolTip();
    return state;
}

void DoubleSidedGaugeRenderer::startAnimation() {
    if (!animating) {
        AnimationManager::Instance().registerAnimationObject(animation.get());
        animating = true;
    }
}

void DoubleSidedGaugeRenderer::stopAnimation() {
    if (animating) {
        AnimationManager::Instance().unregisterAnimationObject(animation.get());
        animating = false;
    }
}

void DoubleSidedGaugeRenderer::repaintIfChanged() {
    if (!(stateOf(0) == painted[0]) || !(stateOf(1) == painted[1])) {
        update();
    }
}

void DoubleSidedGaugeRenderer::postValueChanged() {
    QCoreApplication::postEvent(this, new VPPropertyChange(0));
}
