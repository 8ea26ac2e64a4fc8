#include "alerts/AlertGLTextArea.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QAbstractScrollArea>
#include <algorithm>

#include "display/AnimationManager.h"
#include "display/AnimationObject.h"
#include "display/GLUtil.h"

namespace {

const float LINE_SPACING = 14.0f;
const float TOP_MARGIN = 10.0f;
// After a pause of the animations the reveal goes on where it stopped, without a jump.
const qint64 MAX_CATCH_UP_MS = 100;
// The 8-by-13 bitmap font of the text advances 8 pixels for every character it draws.
const int GLYPH_ADVANCE = 8;

}  // namespace

AlertGLTextArea::AlertGLTextArea(QWidget* parent, const std::string& text)
    : GLFrameWidget(parent), fullText(text) {
    // The steps are counted here rather than by the animation object, which drops the part
    // of a frame that does not make a whole step.
    animation = std::make_unique<vpcore::AnimationObject>(
        STEP_MS, fastdelegate::FastDelegate0<>(),
        fastdelegate::FastDelegate0<>(this, &AlertGLTextArea::onAnimationFrame));
    frameClock.start();
    startReveal();
}

AlertGLTextArea::~AlertGLTextArea() {
    vpcore::AnimationManager::Instance().unregisterAnimationObject(animation.get());
}

void AlertGLTextArea::startReveal() {
    if (!revealing) {
        frameClock.restart();
        unusedMs = 0;
        vpcore::AnimationManager::Instance().registerAnimationObject(animation.get());
        revealing = true;
    }
}

void AlertGLTextArea::setText(const std::string& text, bool restartReveal) {
    revealCount = restartReveal ? 0 : static_cast<unsigned int>(fullText.size());
    fullText = text;
    brokenLength.clear();
    startReveal();
}

void AlertGLTextArea::appendText(const std::string& more) {
    fullText += more;
    brokenLength.clear();
    startReveal();
}

void AlertGLTextArea::animationStep() {
    const auto length = static_cast<unsigned int>(fullText.size());
    // A count beyond a shorter new text is brought back to its end rather than left to run
    // on, so that text appended later still types itself out.
    if (revealCount < length) {
        ++revealCount;
    } else {
        revealCount = length;
    }
    if (shown.size() != revealCount || fullText.compare(0, revealCount, shown) != 0) {
        shown.assign(fullText, 0, revealCount);
    }
}

void AlertGLTextArea::onAnimationFrame() {
    unusedMs = std::min(unusedMs + frameClock.restart(), MAX_CATCH_UP_MS);
    const auto stepMs = static_cast<qint64>(STEP_MS);
    for (; unusedMs >= stepMs; unusedMs -= stepMs) {
        animationStep();
    }
    // A text that stands still is not drawn again sixty times a second.
    if (shown != painted) {
        repaintStep();
    }
    if (revealCount >= fullText.size() && shown == fullText) {
        vpcore::AnimationManager::Instance().unregisterAnimationObject(animation.get());
        revealing = false;
    }
}

int AlertGLTextArea::shownColumns() const {
    int shownWidth = width();
    QWidget* viewport = parentWidget();
    auto* area = viewport != nullptr ? qobject_cast<QAbstractScrollArea*>(viewport->parentWidget())
                                     : nullptr;
    if (area != nullptr && area->viewport() == viewport) {
        shownWidth = std::min(shownWidth, viewport->width());
    }
    return std::max(1, shownWidth / GLYPH_ADVANCE);
}

void AlertGLTextArea::updateLineBreaks() const {
    const int columns = shownColumns();
    if (!brokenLength.empty() && columns == brokenColumns) {
        return;
    }
    brokenColumns = columns;
    broken.clear();
    brokenLength.assign(1, 0);
    const auto width = static_cast<std::size_t>(columns);
    std::size_t lineStart = 0;
    while (lineStart <= fullText.size()) {
        std::size_t lineEnd = fullText.find('\n', lineStart);
        if (lineEnd == std::string::npos) {
            lineEnd = fullText.size();
        }
        // A line too long for the widget breaks at its last blank that fits, which becomes
        // the line break; a word longer than a whole line is cut where the line is full.
        std::size_t start = lineStart;
        while (lineEnd - start > width) {
            const std::size_t blank = fullText.rfind(' ', start + width);
            const bool atBlank = blank != std::string::npos && blank > start;
            const std::size_t end = atBlank ? blank : start + width;
            for (std::size_t i = start; i < end; ++i) {
                broken += fullText[i];
                brokenLength.push_back(broken.size());
            }
            broken += '\n';
            if (atBlank) {
                brokenLength.push_back(broken.size());
            }
            start = atBlank ? blank + 1 : end;
        }
        const std::size_t stop = std::min(lineEnd + 1, fullText.size());
        for (std::size_t i = start; i < stop; ++i) {
            broken += fullText[i];
            brokenLength.push_back(broken.size());
        }
        lineStart = lineEnd + 1;
    }
}

std::string AlertGLTextArea::drawnText() const {
    updateLineBreaks();
    return broken.substr(0, brokenLength[std::min(shown.size(), brokenLength.size() - 1)]);
}

void AlertGLTextArea::repaintStep() {
    repaint();
}

void AlertGLTextArea::setUpGLState() {
    glShadeModel(GL_SMOOTH);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_DEPTH_TEST);
}

void AlertGLTextArea::resizeGL(int w, int h) {
    if (h < 1) {
        h = 1;
    }
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, w, 0.0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void AlertGLTextArea::paintGL() {
    glClear(GL_COLOR_BUFFER_BIT);
    glLoadIdentity();
    glColor3f(0.0f, 0.0f, 0.0f);
    glRasterPos2f(0.0f, static_cast<float>(height()) - TOP_MARGIN);
    vpcore::GLUtil::renderBitmapString(drawnText(), vpcore::FONT_SIZE_13, LINE_SPACING);
    painted = shown;
}
