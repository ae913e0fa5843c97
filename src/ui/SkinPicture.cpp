#include "ui/SkinPicture.h"

#include <QImageReader>
#include <QResource>

#include <cstdint>

namespace {

uint32_t Read32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Read16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

constexpr qsizetype kFileHeader = 14;
constexpr uint32_t kMaxSide = 16384;

}  // namespace

QImage DecodePlainBmp(const unsigned char* data, qsizetype size)
{
    if (!data || size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M')
        return {};
    const unsigned char* info = data + kFileHeader;
    const uint32_t infoSize = Read32(info);
    if (infoSize < 40 || infoSize > uint32_t(size - kFileHeader))
        return {};
    const int32_t width = int32_t(Read32(info + 4));
    const int32_t rawHeight = int32_t(Read32(info + 8));
    const uint16_t bits = Read16(info + 14);
    const uint32_t compression = Read32(info + 16);
    uint32_t colours = Read32(info + 32);
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -int64_t(rawHeight) : rawHeight;
    if (Read16(info + 12) != 1 || compression != 0 || width <= 0 || height <= 0 || uint32_t(width) > kMaxSide ||
        height > kMaxSide || (bits != 8 && bits != 24 && bits != 32))
        return {};
    if (bits == 8) {
        if (colours == 0)
            colours = 256;
        if (colours > 256 || kFileHeader + infoSize + 4 * qsizetype(colours) > size)
            return {};
    }
    const qsizetype stride = (qsizetype(width) * bits / 8 + 3) & ~qsizetype(3);
    const qsizetype offset = Read32(data + 10);
    if (offset < kFileHeader + infoSize || offset > size || (size - offset) / stride < height)
        return {};

    QImage image(width, int(height), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    uint32_t palette[256] = {};
    if (bits == 8) {
        const unsigned char* quad = data + kFileHeader + infoSize;
        for (uint32_t i = 0; i < colours; ++i, quad += 4)
            palette[i] = 0xff000000u | uint32_t(quad[2]) << 16 | uint32_t(quad[1]) << 8 | quad[0];
    }
    const int step = bits / 8;
    for (int64_t row = 0; row < height; ++row) {
        const unsigned char* source = data + offset + stride * (topDown ? row : height - 1 - row);
        auto* target = reinterpret_cast<uint32_t*>(image.scanLine(int(row)));
        if (bits == 8) {
            for (int x = 0; x < width; ++x)
                target[x] = palette[source[x]];
        } else {
            for (int x = 0; x < width; ++x, source += step)
                target[x] = 0xff000000u | uint32_t(source[2]) << 16 | uint32_t(source[1]) << 8 | source[0];
        }
    }
    return image;
}

QImage ReadSkinPicture(const QString& resourcePath)
{
    const QResource resource(resourcePath);
    if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression) {
        QImage image = DecodePlainBmp(resource.data(), resource.size());
        if (!image.isNull())
            return image;
    }
    QImageReader reader(resourcePath, "bmp");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}
