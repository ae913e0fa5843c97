// The skins' own BMP reader against the toolkit's: the same pixels for the program's pictures and
// for the other plain kinds, and nothing read from damaged bytes.
#include "ui/SkinPicture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <cstring>
#include <gtest/gtest.h>

namespace {

QImage ByToolkit(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QImage Decode(const QByteArray& bytes)
{
    return DecodePlainBmp(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

QByteArray Bmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "bmp").write(image);
    return bytes;
}

// A picture with a distinct colour in every pixel of an odd width, so row padding and order show.
QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x + y) % 256));
    return image;
}

}  // namespace

TEST(SkinPicture, TheProgramsPicturesReadAsTheToolkitReadsThem)
{
    for (const char* name : {":/turnex/main.bmp", ":/turnex/dialog.bmp"}) {
        QFile file(QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray bytes = file.readAll();
        const QImage ours = Decode(bytes);
        ASSERT_FALSE(ours.isNull()) << name;
        EXPECT_EQ(ours, ByToolkit(bytes)) << name;
        EXPECT_EQ(ReadSkinPicture(QString::fromLatin1(name)), ours) << name;
    }
}

TEST(SkinPicture, OtherPlainKindsAndRowOrdersMatchTheToolkit)
{
    const QImage gradient = Gradient(33, 7);
    // 24-bit, bottom-up, rows padded to four bytes.
    const QByteArray rgb = Bmp(gradient.convertToFormat(QImage::Format_RGB888));
    EXPECT_EQ(Decode(rgb), ByToolkit(rgb));
    EXPECT_EQ(Decode(rgb), gradient);
    // 8-bit with a palette.
    const QByteArray indexed = Bmp(gradient.convertToFormat(QImage::Format_Indexed8));
    EXPECT_EQ(Decode(indexed), ByToolkit(indexed));
    // Top-down: a negative height.
    QByteArray topDown = rgb;
    const qint32 height = -7;
    std::memcpy(topDown.data() + 22, &height, 4);
    EXPECT_EQ(Decode(topDown), gradient.mirrored(false, true));
}

TEST(SkinPicture, DamagedBytesGiveNoPicture)
{
    const QByteArray good = Bmp(Gradient(16, 16).convertToFormat(QImage::Format_Indexed8));
    ASSERT_FALSE(Decode(good).isNull());
    EXPECT_TRUE(Decode(good.left(good.size() - 1)).isNull()) << "rows cut short";
    EXPECT_TRUE(Decode(good.left(60)).isNull()) << "palette cut short";
    EXPECT_TRUE(Decode(QByteArray()).isNull());
    QByteArray compressed = good;
    compressed[30] = 1;  // run-length coded: not a kind this reader takes
    EXPECT_TRUE(Decode(compressed).isNull());
    QByteArray huge = good;
    const qint32 width = 1 << 30;
    std::memcpy(huge.data() + 18, &width, 4);
    EXPECT_TRUE(Decode(huge).isNull());
    QByteArray pastEnd = good;
    const quint32 offset = 0x7fffffff;
    std::memcpy(pastEnd.data() + 10, &offset, 4);
    EXPECT_TRUE(Decode(pastEnd).isNull());
}
