// An X server of the tests' own (Xvfb on a free display, 24-bit) whose screen can be read back
// as an image: a program started on it shares the screen with nothing, so a screenshot shows
// that program alone. The screen lives in a memory-mapped file that Xvfb keeps in XWD form.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace apptest {

class PrivateDisplay {
public:
    // Starts the server; isRunning() tells whether it came up within the time-out.
    PrivateDisplay(int width, int height, int timeoutMs = 20000);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    bool isRunning() const { return !displayName.isEmpty(); }
    // ":N", for the DISPLAY variable of the programs to run on it.
    QString name() const { return displayName; }
    // The whole screen as it is now; a null image when it cannot be read.
    QImage grab() const;
    // The screen once it has not changed for stableMs, or as it is after timeoutMs.
    QImage grabWhenStill(int stableMs, int timeoutMs) const;

    // Waits until a top-level window of that title is mapped and viewable on this screen
    // (asked of the server with xwininfo); false after timeoutMs.
    bool waitForWindow(const QString& title, int timeoutMs) const;

    // Reads an XWD image of 24 or 32 bits per pixel in true colour; null for anything else.
    static QImage readXwd(const QByteArray& data);

private:
    QTemporaryDir frameBufferDir;
    QProcess server;
    QString displayName;
};

}  // namespace apptest
