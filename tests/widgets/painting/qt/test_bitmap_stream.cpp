// Pictures stored as BMP images by our own writer and read back through
// Qt; the system-menu entries as window hints.
#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/services/qt/system_menu.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace kyd::widgets;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

QImage TwoByTwo()
{
    QImage img(2, 2, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(1, 0, qRgb(0, 255, 0));
    img.setPixel(0, 1, qRgb(0, 0, 255));
    img.setPixel(1, 1, qRgb(255, 255, 255));
    return img;
}

} // namespace

TEST(BitmapStream, TwentyFourBitLayout)
{
    const Bytes b = DUDBmpImage(TwoByTwo(), bfOwnDepth);
    ASSERT_EQ(b.size(), 70u);
    const Bytes head = {0x42, 0x4D, 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0x28};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 15), head);
    EXPECT_EQ(U32(b, 18), 2u);  // width
    EXPECT_EQ(U32(b, 22), 2u);  // height: bottom-up
    EXPECT_EQ(U32(b, 34), 16u); // image size
    // Bottom row first, blue-green-red, padded to 4 bytes.
    const Bytes pixels = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    EXPECT_EQ(Bytes(b.begin() + 54, b.end()), pixels);
    EXPECT_EQ(DUDBmpImage(TwoByTwo(), bfOwnStream), b); // the own form is the same image
}

TEST(BitmapStream, SaveDIBStreamWritesABmpFileAndRewinds)
{
    QImage img(5, 3, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    img.setPixel(4, 2, qRgb(0, 0, 0));
    for (int format : {bfOwnDepth, bfMono, bfColors16, bfColors256}) {
        SCOPED_TRACE(format);
        TMemoryStream s;
        DUDBmpSaveDIBStream(s, img, format);
        EXPECT_EQ(s.Position(), 0);
        EXPECT_EQ(s.Bytes(), DUDBmpImage(img, format));
        EXPECT_EQ(U32(s.Bytes(), 2), s.Bytes().size()); // a whole file: no length before it
        QImage back;
        ASSERT_TRUE(back.loadFromData(s.Bytes().data(), static_cast<int>(s.Bytes().size()), "BMP"));
        EXPECT_EQ(back.size(), img.size());
        EXPECT_EQ(back.pixel(4, 2), qRgb(0, 0, 0));
        EXPECT_EQ(back.pixel(0, 0), qRgb(255, 255, 255));
    }
    // A null picture writes nothing.
    TMemoryStream none;
    DUDBmpSaveDIBStream(none, QImage(), bfOwnDepth);
    EXPECT_EQ(none.Size(), 0);
}

TEST(BitmapStream, ReducedDepthsRoundTrip)
{
    QImage img(13, 5, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    img.setPixel(3, 1, qRgb(0, 0, 0));
    img.setPixel(12, 4, qRgb(255, 0, 0));
    const struct {
        int format;
        int bits;
        std::uint32_t offset;
    } cases[] = {{bfMono, 1, 62}, {bfColors16, 4, 118}, {bfColors256, 8, 1078}, {bfOwnDepth, 24, 54}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const Bytes b = DUDBmpImage(img, c.format);
        EXPECT_EQ(b[28], c.bits);
        EXPECT_EQ(U32(b, 10), c.offset);
        EXPECT_EQ(U32(b, 2), b.size());
        for (bool compressed : {false, true}) {
            TMemoryStream s;
            stWriteBitmap(s, img, compressed, c.format);
            s.SetPosition(0);
            QImage back;
            stReadBitmap(s, back, compressed);
            ASSERT_EQ(back.size(), img.size());
            EXPECT_EQ(back.pixel(3, 1), qRgb(0, 0, 0));
            EXPECT_EQ(back.pixel(0, 0), qRgb(255, 255, 255));
            EXPECT_EQ(back.pixel(12, 4), c.bits == 1 ? qRgb(0, 0, 0) : qRgb(255, 0, 0)); // red is nearer black
        }
    }
    // 1- and 8-bit pictures keep their depth; a monochrome one always has 1 bit.
    const QImage mono = img.convertToFormat(QImage::Format_Mono);
    EXPECT_EQ(DUDBmpImage(mono, bfColors256)[28], 1);
    EXPECT_EQ(DUDBmpImage(img.convertToFormat(QImage::Format_Indexed8), bfOwnDepth)[28], 8);
    EXPECT_EQ(DUDBmpImage(img.convertToFormat(QImage::Format_Indexed8), bfOwnDepth).size(), 54u + 1024 + 16 * 5);

    TMemoryStream empty;
    stWriteBitmap(empty, QImage(), false, bfOwnDepth);
    EXPECT_EQ(empty.Bytes(), (Bytes{0, 0, 0, 0}));
    empty.SetPosition(0);
    QImage cleared = img;
    stReadBitmap(empty, cleared, false);
    EXPECT_TRUE(cleared.isNull());
}

TEST(BitmapStream, SizesBeyondTheHeaderFieldsAreRefused)
{
    EXPECT_EQ(DUDBmpHeaders(2, 2, 1)[10], 62);
    EXPECT_THROW(DUDBmpHeaders(40000, 40000, 24), EWriteError);
    EXPECT_THROW(DUDBmpHeaders(0x80000000LL, 1, 1), EWriteError);
    EXPECT_NO_THROW(DUDBmpHeaders(30000, 30000, 24));
}

TEST(BitmapStream, DamagedOrHugePicturesAreRefused)
{
    const Bytes good = DUDBmpImage(TwoByTwo(), bfOwnDepth);
    auto patched = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        return b;
    };
    Bytes noSignature = good;
    noSignature[0] = 'X';
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"no signature", noSignature},
        {"pixels past the data", Bytes(good.begin(), good.end() - 1)},
        {"offset past the data", patched(10, 1000)},
        {"huge", patched(18, 20000)},                  // 20000 x 2 rows need more bytes than there are
        {"over the pixel bound", patched(22, 0x7FFFFFFF)}, // 2 x 2^31 rows
        {"both sides huge", [&] {  // 2^31 x 2^31 pixels: no overflow in the bound
             Bytes b = patched(18, 0x7FFFFFFF);
             for (std::size_t i = 22; i < 26; ++i)
                 b[i] = b[i - 4];
             return b;
         }()},
        {"zero width", patched(18, 0)},
        {"unknown header", patched(14, 20)},
        {"too short", Bytes(good.begin(), good.begin() + 20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream s;
        stWriteBlock(s, c.bytes.data(), c.bytes.size(), false);
        s.SetPosition(0);
        QImage kept = TwoByTwo();
        EXPECT_THROW(stReadBitmap(s, kept, false), EReadError);
        EXPECT_EQ(kept.pixel(0, 0), qRgb(255, 0, 0));
    }
}

TEST(SystemMenu, AbsentEntriesDropTheirButtons)
{
    QWidget w;
    DUDCheckSystemMenu(kDUDAllSysMenuEntries, &w, false);
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::CustomizeWindowHint)); // nothing changes

    TDUDSysMenuEntries entries = kDUDAllSysMenuEntries;
    entries &= ~TDUDSysMenuEntries(TDUDSysMenuEntry::smMaximize);
    entries &= ~TDUDSysMenuEntries(TDUDSysMenuEntry::smMove); // no hint: no effect
    DUDCheckSystemMenu(entries, &w, false);
    const Qt::WindowFlags f = w.windowFlags();
    EXPECT_TRUE(f.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(f.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(f.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(f.testFlag(Qt::WindowCloseButtonHint));

    QWidget tool(nullptr, Qt::Tool);
    DUDCheckSystemMenu(TDUDSysMenuEntries(TDUDSysMenuEntry::smMove), &tool, true);
    EXPECT_FALSE(tool.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(tool.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
}
