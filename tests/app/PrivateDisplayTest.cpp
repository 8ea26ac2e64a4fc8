#include <gtest/gtest.h>

#include <QtEndian>

#include "PrivateDisplay.h"

namespace {

using apptest::PrivateDisplay;

// A two-pixel XWD image, red then blue, in the given byte order and pixel size.
QByteArray twoPixels(quint32 byteOrder, quint32 bitsPerPixel, quint32 visualClass = 4) {
    const quint32 bytesPerPixel = bitsPerPixel / 8;
    const quint32 header[25] = {100,
                                7,
                                2,
                                24,
                                2,
                                1,
                                0,
                                byteOrder,
                                32,
                                0,
                                32,
                                bitsPerPixel,
                                2 * bytesPerPixel + 2,
                                visualClass,
                                0xFF0000,
                                0xFF00,
                                0xFF,
                                8,
                                1,
                                1,
                                2,
                                1,
                                0,
                                0,
                                0};
    QByteArray data;
    for (quint32 field : header) {
        char bytes[4];
        qToBigEndian(field, bytes);
        data.append(bytes, 4);
    }
    data.append(QByteArray(12, '\0'));  // one colour map entry
    for (quint32 pixel : {0xFF0000u, 0x0000FFu}) {
        for (quint32 b = 0; b < bytesPerPixel; ++b) {
            const quint32 shift = byteOrder == 0 ? 8 * b : 8 * (bytesPerPixel - 1 - b);
            data.append(static_cast<char>((pixel >> shift) & 0xFF));
        }
    }
    data.append(QByteArray(2, '\0'));  // line padding
    return data;
}

TEST(PrivateDisplayTest, XwdImagesAreReadInEitherByteOrder) {
    for (quint32 byteOrder : {0u, 1u}) {
        for (quint32 bits : {24u, 32u}) {
            SCOPED_TRACE(QString("order %1, %2 bits").arg(byteOrder).arg(bits).toStdString());
            const QImage image = PrivateDisplay::readXwd(twoPixels(byteOrder, bits));
            ASSERT_EQ(image.size(), QSize(2, 1));
            EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
            EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 255));
        }
    }
    // Cut short, or a colour-mapped screen: nothing is made up.
    EXPECT_TRUE(PrivateDisplay::readXwd(twoPixels(0, 32).left(120)).isNull());
    EXPECT_TRUE(PrivateDisplay::readXwd(twoPixels(0, 32, 3)).isNull());
    EXPECT_TRUE(PrivateDisplay::readXwd(QByteArray()).isNull());
}

TEST(PrivateDisplayTest, TheScreenOfAFreshServerIsReadBack) {
    PrivateDisplay display(320, 200);
    ASSERT_TRUE(display.isRunning());
    EXPECT_TRUE(display.name().startsWith(":"));
    const QImage screen = display.grabWhenStill(200, 5000);
    EXPECT_EQ(screen.size(), QSize(320, 200));
}

}  // namespace
