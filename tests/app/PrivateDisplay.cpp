#include "PrivateDisplay.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtEndian>

namespace apptest {

namespace {

// The fields of an XWD header, in file order, each a big-endian 32-bit number.
enum XwdField {
    XWD_HEADER_SIZE,
    XWD_FILE_VERSION,
    XWD_PIXMAP_FORMAT,
    XWD_PIXMAP_DEPTH,
    XWD_PIXMAP_WIDTH,
    XWD_PIXMAP_HEIGHT,
    XWD_XOFFSET,
    XWD_BYTE_ORDER,
    XWD_BITMAP_UNIT,
    XWD_BITMAP_BIT_ORDER,
    XWD_BITMAP_PAD,
    XWD_BITS_PER_PIXEL,
    XWD_BYTES_PER_LINE,
    XWD_VISUAL_CLASS,
    XWD_RED_MASK,
    XWD_GREEN_MASK,
    XWD_BLUE_MASK,
    XWD_BITS_PER_RGB,
    XWD_COLORMAP_ENTRIES,
    XWD_NCOLORS,
    XWD_FIELD_COUNT = 25
};

const quint32 kXwdVersion = 7;
const quint32 kZPixmap = 2;
const quint32 kTrueColor = 4;
const quint32 kLsbFirst = 0;
const int kColorEntrySize = 12;

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height, int timeoutMs) {
    if (!frameBufferDir.isValid()) {
        return;
    }
    // -displayfd 1: the server picks a free display and writes its number to standard output.
    // -noreset: the checks connect and leave in turn; a reset between them would refuse one.
    server.start("Xvfb",
                 {"-displayfd", "1", "-screen", "0", QString("%1x%2x24").arg(width).arg(height),
                  "-fbdir", frameBufferDir.path(), "-nolisten", "tcp", "-nocursor", "-noreset"});
    if (!server.waitForStarted(timeoutMs)) {
        return;
    }
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains('\n') && timer.elapsed() < timeoutMs &&
           server.state() == QProcess::Running) {
        server.waitForReadyRead(100);
        output += server.readAllStandardOutput();
    }
    if (output.contains('\n')) {
        displayName = ":" + QString::fromLatin1(output.trimmed());
    }
}

PrivateDisplay::~PrivateDisplay() {
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(10000)) {
            server.kill();
            server.waitForFinished(10000);
        }
    }
}

QImage PrivateDisplay::grab() const {
    QFile screen(frameBufferDir.filePath("Xvfb_screen0"));
    if (!isRunning() || !screen.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    return readXwd(screen.readAll());
}

bool PrivateDisplay::waitForWindow(const QString& title, int timeoutMs) const {
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < timeoutMs) {
        QProcess query;
        query.start("xwininfo", {"-display", displayName, "-name", title});
        if (query.waitForFinished(5000) && query.exitCode() == 0 &&
            query.readAllStandardOutput().contains("Map State: IsViewable")) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

QImage PrivateDisplay::grabWhenStill(int stableMs, int timeoutMs) const {
    QElapsedTimer total;
    total.start();
    QElapsedTimer still;
    still.start();
    QImage last = grab();
    while (total.elapsed() < timeoutMs && still.elapsed() < stableMs) {
        QThread::msleep(100);
        QImage now = grab();
        if (now != last) {
            last = now;
            still.restart();
        }
    }
    return last;
}

QImage PrivateDisplay::readXwd(const QByteArray& data) {
    if (data.size() < XWD_FIELD_COUNT * 4) {
        return QImage();
    }
    quint32 field[XWD_FIELD_COUNT];
    for (int i = 0; i < XWD_FIELD_COUNT; ++i) {
        field[i] = qFromBigEndian<quint32>(data.constData() + 4 * i);
    }
    const quint32 bitsPerPixel = field[XWD_BITS_PER_PIXEL];
    if (field[XWD_FILE_VERSION] != kXwdVersion || field[XWD_PIXMAP_FORMAT] != kZPixmap ||
        field[XWD_VISUAL_CLASS] != kTrueColor || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        field[XWD_RED_MASK] != 0xFF0000 || field[XWD_GREEN_MASK] != 0xFF00 ||
        field[XWD_BLUE_MASK] != 0xFF) {
        return QImage();
    }
    const qint64 width = field[XWD_PIXMAP_WIDTH];
    const qint64 height = field[XWD_PIXMAP_HEIGHT];
    const qint64 bytesPerLine = field[XWD_BYTES_PER_LINE];
    const qint64 start = static_cast<qint64>(field[XWD_HEADER_SIZE]) +
                         kColorEntrySize * static_cast<qint64>(field[XWD_NCOLORS]);
    const int bytesPerPixel = static_cast<int>(bitsPerPixel / 8);
    if (width <= 0 || height <= 0 || bytesPerLine < width * bytesPerPixel ||
        start + bytesPerLine * height > data.size()) {
        return QImage();
    }
    const bool lsbFirst = field[XWD_BYTE_ORDER] == kLsbFirst;
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    for (qint64 y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uchar*>(data.constData() + start + y * bytesPerLine);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (qint64 x = 0; x < width; ++x) {
            const uchar* p = row + x * bytesPerPixel;
            quint32 pixel = 0;
            for (int b = 0; b < bytesPerPixel; ++b) {
                const int shift = lsbFirst ? 8 * b : 8 * (bytesPerPixel - 1 - b);
                pixel |= static_cast<quint32>(p[b]) << shift;
            }
            out[x] = qRgb((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
        }
    }
    return image;
}

}  // namespace apptest
