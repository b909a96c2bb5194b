#include "widgets/painting/qt/bitmap_stream.h"

#include "widgets/painting/bmp_format.h"

namespace kyd::widgets {

namespace {

// The 16 colours of the classic 4-bit palette.
QList<QRgb> Palette16()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// 8 bits: a 6 x 6 x 6 colour cube and 40 greys.
QList<QRgb> Palette256()
{
    QList<QRgb> p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.push_back(qRgb(r * 51, g * 51, b * 51));
    for (int i = 0; i < 40; ++i) {
        const int v = 6 + i * 6; // greys between the cube's steps
        p.push_back(qRgb(v, v, v));
    }
    return p;
}

constexpr auto kNearest = Qt::ThresholdDither | Qt::AvoidDither | Qt::ThresholdAlphaDither;

void PutPalette(std::vector<std::uint8_t>& out, const QList<QRgb>& colors, int entries)
{
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < colors.size() ? colors[i] : qRgb(0, 0, 0);
        out.push_back(static_cast<std::uint8_t>(qBlue(c)));
        out.push_back(static_cast<std::uint8_t>(qGreen(c)));
        out.push_back(static_cast<std::uint8_t>(qRed(c)));
        out.push_back(0);
    }
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A checked 1-bit picture without compression as it is stored: its palette
// in the stored order and its bits unchanged (Qt's reader may turn the
// palette round and the bits with it). Null for any other picture.
QImage StoredMonoPicture(const std::uint8_t* bmp)
{
    const std::uint8_t* info = bmp + 14;
    const std::uint32_t infoSize = Get32(info);
    const std::uint32_t offset = Get32(bmp + 10);
    std::int64_t width, height;
    unsigned bits, compression = 0, entries = 2, entrySize = 4;
    if (infoSize == 12) {
        width = info[4] | (info[5] << 8);
        height = info[6] | (info[7] << 8);
        bits = info[10] | (info[11] << 8);
        entrySize = 3;
    } else {
        width = static_cast<std::int32_t>(Get32(info + 4));
        height = static_cast<std::int32_t>(Get32(info + 8));
        bits = info[14] | (info[15] << 8);
        compression = Get32(info + 16);
        if (infoSize >= 36 && Get32(info + 32) != 0)
            entries = Get32(info + 32);
    }
    const std::size_t palette = 14 + static_cast<std::size_t>(infoSize);
    if (bits != 1 || compression != 0 || entries < 2 || palette + 2 * entrySize > offset)
        return {};
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    QImage img(static_cast<int>(width), static_cast<int>(height), QImage::Format_Mono);
    if (img.isNull())
        return {};
    QList<QRgb> colors;
    for (int i = 0; i < 2; ++i) {
        const std::uint8_t* e = bmp + palette + i * entrySize;
        colors.push_back(qRgb(e[2], e[1], e[0]));
    }
    img.setColorTable(colors);
    const auto rowBytes = static_cast<std::size_t>(DUDBmpRowBytes(width, 1));
    for (int y = 0; y < height; ++y) {
        const std::size_t stored = static_cast<std::size_t>(topDown ? y : height - 1 - y);
        const std::uint8_t* row = bmp + offset + rowBytes * stored;
        std::copy(row, row + (width + 7) / 8, img.scanLine(y));
    }
    return img;
}

bool IsMono(const QImage& picture)
{
    return picture.format() == QImage::Format_Mono || picture.format() == QImage::Format_MonoLSB;
}

// The bits a pixel the picture is stored with in format.
int StoredBits(const QImage& picture, int format)
{
    if (IsMono(picture) || format == bfMono)
        return 1;
    if (format == bfColors16)
        return 4;
    if (format == bfColors256)
        return 8;
    if ((format == bfOwnDepth || format == bfOwnStream)
        && (picture.format() == QImage::Format_Indexed8 || picture.format() == QImage::Format_Grayscale8))
        return 8;
    return 24;
}

} // namespace

std::int64_t DUDBmpImageSize(const QImage& picture, int format)
{
    if (picture.isNull())
        return 0;
    const int bits = StoredBits(picture, format);
    return DUDBmpPixelOffset(bits) + DUDBmpRowBytes(picture.width(), bits) * picture.height();
}

std::vector<std::uint8_t> DUDBmpImage(const QImage& picture, int format)
{
    if (picture.isNull())
        return {};
    const bool mono = IsMono(picture);
    const int bits = StoredBits(picture, format);

    std::vector<std::uint8_t> out = DUDBmpHeaders(picture.width(), picture.height(), bits);
    const int w = picture.width();
    const int h = picture.height();
    const auto rowBytes = static_cast<std::size_t>(DUDBmpRowBytes(w, bits));

    QImage source;
    if (bits == 24) {
        source = picture.convertToFormat(QImage::Format_RGB888);
    } else {
        QList<QRgb> colors;
        if (mono && picture.colorTable().size() == 2) {
            // The picture's own palette order and bits: a picture read from
            // a stream is written back byte for byte.
            colors = picture.colorTable();
            source = picture.convertToFormat(QImage::Format_Mono);
        } else if (mono) {
            colors = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
            source = picture.convertToFormat(QImage::Format_Indexed8, colors, kNearest);
        } else if (bits == 8 && format != bfColors256) {
            source = picture.convertToFormat(QImage::Format_Indexed8);
            colors = source.colorTable();
        } else {
            colors = bits == 1 ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                     : bits == 4 ? Palette16()
                                 : Palette256();
            source = picture.convertToFormat(QImage::Format_Indexed8, colors, kNearest);
        }
        PutPalette(out, colors, 1 << bits);
    }

    const std::size_t pixels = out.size();
    out.resize(pixels + rowBytes * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        const uchar* line = source.constScanLine(y);
        std::uint8_t* row = out.data() + pixels + rowBytes * static_cast<std::size_t>(h - 1 - y); // bottom-up
        if (bits == 24) {
            for (int x = 0; x < w; ++x) {
                row[3 * x] = line[3 * x + 2];
                row[3 * x + 1] = line[3 * x + 1];
                row[3 * x + 2] = line[3 * x];
            }
        } else if (bits == 8) {
            std::copy(line, line + w, row);
        } else if (bits == 4) {
            for (int x = 0; x < w; ++x)
                row[x / 2] |= static_cast<std::uint8_t>((line[x] & 0x0F) << (x % 2 == 0 ? 4 : 0));
        } else if (source.format() == QImage::Format_Mono) {
            // Same layout as the stored row; the bits past the width stay 0.
            std::copy(line, line + (w + 7) / 8, row);
            if (w % 8)
                row[(w - 1) / 8] &= static_cast<std::uint8_t>(0xFF00 >> (w % 8));
        } else {
            for (int x = 0; x < w; ++x)
                if (line[x] & 1)
                    row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return out;
}

void DUDBmpSaveDIBStream(TStream& stream, const QImage& picture, int format)
{
    const std::vector<std::uint8_t> bytes = DUDBmpImage(picture, format);
    stream.WriteBuffer(bytes.data(), bytes.size());
    stream.SetPosition(0);
}

void stWriteBitmap(TStream& s, const QImage& picture, bool compressed, int format)
{
    const std::vector<std::uint8_t> bytes = DUDBmpImage(picture, format);
    stWriteBlock(s, bytes.data(), bytes.size(), compressed);
}

QImage DUDDecodeBmp(const std::uint8_t* data, std::size_t size)
{
    // Counted before anything is decoded: a reader of many pictures (a list
    // file whose offsets all name one small run-length picture) runs out of
    // budget instead of memory.
    TDUDReadBudget::Charge(DUDBmpDecodedBytes(data, size) + kDUDPictureObjectBytes);
    QImage loaded;
    if (!loaded.loadFromData(data, static_cast<int>(size), "BMP") || loaded.isNull())
        throw EReadError("Bitmap image is not valid");
    if (QImage mono = StoredMonoPicture(data); !mono.isNull())
        loaded = std::move(mono);
    return loaded;
}

QImage DUDLoadBmpFile(const std::string& name)
{
    const std::vector<std::uint8_t> bytes = DUDLoadFile(name);
    return DUDDecodeBmp(bytes.data(), bytes.size());
}

void stReadBitmap(TStream& s, QImage& picture, bool compressed)
{
    std::vector<std::uint8_t> bytes = stReadBitmapBytes(s, compressed);
    if (bytes.empty()) {
        picture = QImage();
        return;
    }
    QImage decoded = DUDDecodeBmp(bytes.data(), bytes.size());
    // The stored bytes (counted as they were read) are dropped once
    // decoded: only the picture stays counted.
    const auto stored = static_cast<std::int64_t>(bytes.size());
    bytes = {};
    TDUDReadBudget::Release(stored);
    picture = std::move(decoded);
}

} // namespace kyd::widgets
