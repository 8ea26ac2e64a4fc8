// The text of the alert details page, drawn in OpenGL and typed out one character every 20 ms
// by the animation manager. Built and used on the GUI thread by AlertDetailsPanel.
#pragma once

#include <QElapsedTimer>
#include <memory>
#include <string>
#include <vector>

#include "gauges/GLFrameWidget.h"

namespace vpcore {
class AnimationObject;
}

class AlertGLTextArea : public GLFrameWidget {
public:
    static constexpr float STEP_MS = 20.0f;

    AlertGLTextArea(QWidget* parent, const std::string& text);
    // Leaves the animation manager before the animation goes.
    ~AlertGLTextArea() override;

    // Replaces the text. restartReveal types it out from the first character; otherwise it
    // goes on from the length of the previous text, so only what lies beyond that types out.
    void setText(const std::string& text, bool restartReveal);
    // The added part types itself out.
    void appendText(const std::string& more);

    // One reveal step: one more character shown.
    void animationStep();
    void repaintStep();
    // Each frame of the animation manager: a step for every whole STEP_MS since the previous
    // frame, then the repaint if the shown text has changed.
    void onAnimationFrame();

    const std::string& text() const { return fullText; }
    // The part of the text drawn now.
    const std::string& shownText() const { return shown; }
    // That part as it is drawn: its lines broken again where they are longer than the
    // columns the widget shows (the width of its scroll area's viewport, if it is in one).
    std::string drawnText() const;
    int shownColumns() const;

protected:
    void setUpGLState() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // The text area is on the animation clock only while text remains to be typed out, so an
    // idle program does not wake sixty times a second.
    void startReveal();
    // Breaks the lines of the text to the shown columns, if the text or the columns changed.
    void updateLineBreaks() const;

    std::string fullText;
    std::string shown;
    std::string painted;           // the text the last paint drew
    unsigned int revealCount = 0;  // characters of fullText shown
    std::unique_ptr<vpcore::AnimationObject> animation;
    // Frames come every 16 ms, shorter than a step: the time left over from each frame is
    // kept here for the next, or the reveal would only move on late frames.
    QElapsedTimer frameClock;
    qint64 unusedMs = 0;
    bool revealing = false;  // registered with the animation manager
    // The text with its lines broken to brokenColumns; brokenLength[n] is the length of
    // broken that shows the first n characters of fullText. Empty when out of date.
    mutable std::string broken;
    mutable std::vector<std::size_t> brokenLength;
    mutable int brokenColumns = 0;
};
