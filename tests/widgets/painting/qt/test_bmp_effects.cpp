// The 24-bit bitmap routines and the picture containers.
#include "pixels.h"

#include "widgets/storage/containers.h"
#include "widgets/storage/wave.h"
#include "widgets/painting/gradient.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/image_list_wrappers.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLibraryInfo>
#include <QPainter>
#include <QProcess>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace kyd::widgets;
using kyd::widgets::test::Px;
namespace fs = std::filesystem;

namespace {

QImage Filled(int w, int h, TColor c)
{
    QImage img = DUDBmpCreate24(w, h);
    img.fill(ToQColor(c));
    return img;
}

// A picture where every pixel differs: x in red, y in green.
QImage Ramp(int w, int h)
{
    QImage img = DUDBmpCreate24(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor(x * 10, y * 10, 7));
    return img;
}

TRect All(const QImage& img)
{
    return {0, 0, img.width(), img.height()};
}

std::vector<std::uint8_t> ReadAll(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("kyd_iml_" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

} // namespace

TEST(WidgetBmp, GreyBrightnessAndInvert)
{
    QImage img = Filled(2, 1, clRed);
    img.setPixelColor(1, 0, QColor(0, 255, 0));
    DUDBMPGrayScale(img, All(img), img, {0, 0});
    EXPECT_EQ(RGB(76, 76, 76), Px(img, 0, 0)); // 76.5 goes to the even 76
    EXPECT_EQ(RGB(150, 150, 150), Px(img, 1, 0));

    QImage b = Filled(2, 1, RGB(200, 200, 200));
    b.setPixelColor(1, 0, QColor(50, 50, 50));
    QImage up = DUDBmpCreate24(2, 1), down = DUDBmpCreate24(2, 1);
    DUDBMPBrightness(b, All(b), up, 100, {0, 0});
    DUDBMPBrightness(b, All(b), down, -100, {0, 0});
    EXPECT_EQ(clWhite, Px(up, 0, 0));
    EXPECT_EQ(clBlack, Px(down, 1, 0));

    // Only the exact excluded colour keeps its bytes.
    QImage ec = Filled(3, 1, RGB(10, 20, 30));
    ec.setPixelColor(1, 0, QColor(30, 20, 10)); // red and blue swapped
    ec.setPixelColor(2, 0, QColor(10, 20, 31));
    DUDBmpBrightnessEC(ec, All(ec), ec, 5, RGB(10, 20, 30), {0, 0});
    EXPECT_EQ(RGB(10, 20, 30), Px(ec, 0, 0));
    EXPECT_EQ(RGB(35, 25, 15), Px(ec, 1, 0));
    EXPECT_EQ(RGB(15, 25, 36), Px(ec, 2, 0));

    QImage inv = Filled(1, 1, RGB(1, 2, 3));
    DUDBMPInvert(inv, All(inv), inv, {0, 0});
    EXPECT_EQ(RGB(254, 253, 252), Px(inv, 0, 0));

    // Empty rectangles write nothing; the rest is clipped to both images.
    QImage t = Filled(3, 3, clBlue);
    DUDBMPInvert(inv, {0, 0, 0, 1}, t, {0, 0});
    DUDBMPInvert(Filled(4, 4, clBlack), {-2, -2, 10, 10}, t, {-1, -1});
    EXPECT_EQ(clBlue, Px(t, 0, 0));
    EXPECT_EQ(clWhite, Px(t, 1, 1));
    EXPECT_EQ(clWhite, Px(t, 2, 2));
}

TEST(WidgetBmp, AlphaBlendRoundsTiesToEvenAndClampsStrength)
{
    const QImage one = Filled(2, 1, RGB(11, 13, 200));
    const QImage two = Filled(2, 1, RGB(10, 10, 0));
    QImage out = DUDBmpCreate24(2, 1);
    DUDBMPAlphaBlend(one, two, All(one), {0, 0}, 0.5, out, {0, 0});
    EXPECT_EQ(RGB(10, 12, 100), Px(out, 0, 0));
    DUDBMPAlphaBlend(one, two, All(one), {0, 0}, 1.0, out, {0, 0});
    EXPECT_EQ(Px(one, 1, 0), Px(out, 1, 0));
    DUDBMPAlphaBlend(one, two, All(one), {0, 0}, 0.0, out, {0, 0});
    EXPECT_EQ(Px(two, 1, 0), Px(out, 1, 0));
    DUDBMPAlphaBlend(one, two, All(one), {0, 0}, 7.0, out, {0, 0});
    EXPECT_EQ(Px(one, 1, 0), Px(out, 1, 0));
    DUDBMPAlphaBlend(one, two, All(one), {0, 0}, -3.0, out, {0, 0});
    EXPECT_EQ(Px(two, 1, 0), Px(out, 1, 0));

    QImage argb(2, 1, QImage::Format_ARGB32);
    try {
        DUDBMPAlphaBlend(one, argb, All(one), {0, 0}, 0.5, out, {0, 0});
        ADD_FAILURE();
    } catch (const EDUDWrongPixelFormat& e) {
        EXPECT_STREQ("Wrong PixelFormat in Source 2 bitmap!", e.what());
    }
    EXPECT_THROW(DUDBMPGrayScale(argb, All(argb), out, {0, 0}), EDUDWrongPixelFormat);
    EXPECT_THROW(DUDBMPFlipVertical(one, All(one), argb, {0, 0}), EDUDWrongPixelFormat);
}

TEST(WidgetBmp, FlipsAreTrueMirrorsInPlaceAndOutOfPlace)
{
    const QImage src = Ramp(5, 4);
    for (auto flip : {&DUDBMPFlipVertical, &DUDBMPFlipHorizonzal}) {
        QImage out = DUDBmpCreate24(5, 4);
        flip(src, All(src), out, {0, 0});
        QImage inPlace = src;
        flip(inPlace, All(inPlace), inPlace, {0, 0});
        EXPECT_EQ(out, inPlace);
        const bool rows = flip == &DUDBMPFlipVertical;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(rows ? Px(src, 4 - x, y) : Px(src, x, 3 - y), Px(out, x, y)) << x << "," << y;
        flip(out, All(out), out, {0, 0});
        EXPECT_EQ(src, out);
    }
}

TEST(WidgetImageLists, GoldenEmptyItemFileAndSizeRules)
{
    TempDir dir;
    TDUDImageListItem item;
    item.SaveToFile(dir.File("new.iml"));
    const std::vector<std::uint8_t> golden = {
        0x08, 'D', 'U', 'D', 'I', 'M', 'L', '3', '0', 1, 0, 0, 0, 0x11, 0, 0, 0, 0x00,
        0x10, 0, 0, 0, 0x10, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(golden, ReadAll(dir.File("new.iml")));

    EXPECT_EQ(0, item.Add(Ramp(48, 16)));
    EXPECT_EQ(3, item.Count());
    EXPECT_THROW(item.Add(Ramp(40, 16)), EInvalidGraphicOperation);
    EXPECT_THROW(item.Add(Ramp(16, 17)), EInvalidGraphicOperation);
    item.SetWidth(0);
    EXPECT_EQ(3, item.Count());
    item.SetWidth(32);
    EXPECT_EQ(0, item.Count());
    item.SetWidth(16);
    try {
        item.Add(DUDBmpCreate24(16 * 2049, 16));
        ADD_FAILURE();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ("Too many images", e.what());
    }
    EXPECT_THROW(item.ConvertBmpToIML(Ramp(10, 4), 0, false), EDUDException);
    EXPECT_THROW(item.LoadFromBitmap(dir.File("none.bmp"), 1, false), EDUDException);

    // Masks, moves and deletes keep images and masks together.
    QImage three = Ramp(48, 16);
    QPainter(&three).fillRect(0, 0, 16, 16, Qt::white); // bottom-left: the transparent colour
    item.ConvertBmpToIML(three, 3, true);
    EXPECT_EQ(16, item.Width());
    EXPECT_TRUE(item.Masked());
    item.Move(1, 0);
    EXPECT_EQ(clBlack, Px(item.GetMaskBitmap(0), 3, 3));
    EXPECT_EQ(clWhite, Px(item.GetMaskBitmap(1), 3, 3)); // the white image is all transparent
    item.Delete(0);
    EXPECT_EQ(2, item.Count());
    item.SaveToFile(dir.File("two.iml"));
    TDUDImageListItem back;
    back.LoadFromFile(dir.File("two.iml"));
    EXPECT_EQ(item.GetBitmap(1).convertToFormat(QImage::Format_RGB32),
              back.GetBitmap(1).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(item.GetMaskBitmap(1).convertToFormat(QImage::Format_RGB32),
              back.GetMaskBitmap(1).convertToFormat(QImage::Format_RGB32));
}

TEST(WidgetImageLists, ListFilesRoundTripAndForeignFilesFail)
{
    TempDir dir;
    for (bool compressed : {false, true}) {
        TDUDBitmapList bitmaps;
        bitmaps.DefaultCompressed = compressed;
        auto* b = static_cast<TDUDBitmapListItem*>(bitmaps.Add());
        b->SetBitmap(Ramp(7, 5));
        b->SetDescription("ramp");
        b->SetIdent(9);
        bitmaps.Add(); // empty
        bitmaps.SaveToFile(dir.File("b.bml"));
        TDUDBitmapList back;
        back.LoadFromFile(dir.File("b.bml"));
        ASSERT_EQ(2, back.Count());
        EXPECT_EQ(Ramp(7, 5).convertToFormat(QImage::Format_RGB32),
                  back.Item(0)->Bitmap().convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ("ramp", back.Item(0)->Description());
        EXPECT_EQ(9, back.Item(0)->Ident());
        EXPECT_EQ(1, back.ItemCount(0));
        EXPECT_EQ(0, back.ItemCount(1));
        EXPECT_EQ(7, back.Dimensions(0, 0));

        TDUDImageList images;
        images.DefaultCompressed = compressed;
        auto* i = static_cast<TDUDImageListItem*>(images.Add());
        i->SetMasked(true);
        i->Add(Ramp(32, 16));
        i->SetSavePixelFormat(3);
        images.SaveToFile(dir.File("i.iml"));
        TDUDImageList iback;
        iback.LoadFromFile(dir.File("i.iml"));
        ASSERT_EQ(1, iback.Count());
        EXPECT_EQ(2, iback.ItemCount(0));
        EXPECT_TRUE(iback.Masked(0));
        EXPECT_EQ(3, iback.Item(0)->SavePixelFormat());

        // An image list file is no bitmap list file.
        try {
            back.LoadFromFile(dir.File("i.iml"));
            ADD_FAILURE();
        } catch (const EDUDException& e) {
            EXPECT_EQ("Cannot open file " + dir.File("i.iml"), e.what());
        }
        EXPECT_EQ(2, back.Count());
    }
}

TEST(WidgetImageLists, OutOfRangeQuestionsGetNeutralAnswers)
{
    TDUDBitmapList bitmaps;
    TDUDImageList images;
    for (const TDUDCustomImageList* list : {static_cast<TDUDCustomImageList*>(&bitmaps),
                                            static_cast<TDUDCustomImageList*>(&images)}) {
        EXPECT_EQ(0, list->Dimensions(3, 0));
        EXPECT_EQ(0, list->ItemCount(-1));
        EXPECT_FALSE(list->IsValidItem(0, 0));
        EXPECT_FALSE(list->Masked(0));
        EXPECT_EQ(clWhite, list->TransparentColor(5, 5));
        EXPECT_EQ(clWhite, list->GetColorAtPoint({0, 0}, 0, 0));
        EXPECT_TRUE(list->GetBitmapItem(0, 0).isNull());
    }
    static_cast<TDUDBitmapListItem*>(bitmaps.Add())->SetBitmap(Filled(4, 4, clRed));
    EXPECT_EQ(clRed, bitmaps.GetColorAtPoint({3, 3}, 0, 0));
    EXPECT_EQ(clWhite, bitmaps.GetColorAtPoint({4, 0}, 0, 0));
    EXPECT_TRUE(DUDIsSingleItemImageList(&bitmaps));
    EXPECT_EQ("DUDIML30", DUDWriteGlobalIdent(&DUDGlobalContainer().ImageList));
    EXPECT_EQ(&DUDGlobalContainer().BitmapList, DUDReadGlobalIdent("DUDBML30"));
    EXPECT_EQ(nullptr, DUDReadGlobalIdent("DUDWVL30"));
    EXPECT_FALSE(DUDIsGlobalIdent(&bitmaps));
}

TEST(WidgetImageLists, ConnectorAndGraphicListWrapPicturesHeldElsewhere)
{
    TDUDPixmapList pixmaps(3, QPixmap::fromImage(Filled(12, 8, clRed)));
    TDUDImageListConnector connector;
    connector.Items.push_back({"first", &pixmaps, 0});
    connector.Items.push_back({"none", nullptr, 1});
    EXPECT_EQ(3, connector.ItemCount(0));
    EXPECT_EQ(0, connector.ItemCount(1));
    EXPECT_EQ(-1, connector.ItemCount(2));
    EXPECT_EQ(12, connector.Dimensions(0, 0));
    EXPECT_EQ(8, connector.Dimensions(0, 1));
    EXPECT_TRUE(connector.IsValidItem(0, 2));
    EXPECT_FALSE(connector.IsValidItem(0, 3));
    EXPECT_EQ(clRed, connector.GetColorAtPoint({1, 1}, 0, 1));
    EXPECT_TRUE(DUDIsCollectionImageList(&connector));
    EXPECT_THROW(connector.Add(), EDUDException);

    TDUDGraphicList graphics;
    graphics.Items.push_back({"pic", Filled(5, 4, clBlue), 0});
    graphics.Items.push_back({"empty", QImage(), 1});
    EXPECT_EQ(1, graphics.ItemCount(0));
    EXPECT_EQ(0, graphics.ItemCount(1));
    EXPECT_EQ(clBlue, graphics.TransparentColor(0, 0));
    EXPECT_EQ(clNone, graphics.TransparentColor(1, 0));
    EXPECT_FALSE(graphics.Masked(0));
    EXPECT_TRUE(DUDIsSingleItemImageList(&graphics));
    QImage img = MakeCanvasImage(10, 10);
    TQtCanvas c(img);
    graphics.DrawExt(c, {0, 0, 10, 8}, 0x10, 0, 0); // stretched over the rectangle
    EXPECT_EQ(clBlue, Px(img, 9, 7));
    EXPECT_EQ(clWhite, Px(img, 9, 8));
}

TEST(WidgetImageLists, ContainerAndGradientPropertiesRoundTrip)
{
    TDUDContainer source;
    static_cast<TDUDBitmapListItem*>(source.BitmapList.Add())->SetBitmap(Ramp(3, 2));
    static_cast<TDUDStringListItem*>(source.StringList.Add())->Items = {"a"};
    TDUDStreamProperties props;
    TDUDContainerCtrl(source).DefineProperties(props);
    ASSERT_EQ(2u, props.size()); // empty lists are not written
    EXPECT_EQ("BitmapList", props[0].Name);
    EXPECT_EQ("StringList", props[1].Name);
    TDUDGradient g;
    g.SetColors({clRed, clBlue});
    g.DefineProperties(props);
    TMemoryStream s;
    DUDWriteProperties(s, props);
    s.SetPosition(0);
    const TDUDStreamProperties back = DUDReadProperties(s);
    EXPECT_EQ(props, back);

    TDUDContainer target;
    TDUDContainerCtrl(target).ReadProperties(back);
    EXPECT_EQ(1, target.BitmapList.ItemCount(0));
    EXPECT_EQ(1, target.StringList.Count());
    // Two controls on forms share the process-wide container.
    TDUDContainerCtrl first, second;
    EXPECT_EQ(&first.Container(), &second.Container());
    EXPECT_EQ(&DUDGlobalContainer(), &first.Container());
    TDUDGradient g2;
    g2.ReadProperties(back);
    EXPECT_EQ(g.Colors(), g2.Colors());

    // Damaged property streams are refused.
    std::vector<std::uint8_t> bytes = s.Bytes();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TMemoryStream part(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
        EXPECT_THROW(DUDReadProperties(part), EReadError) << cut;
    }
}

TEST(WidgetImageLists, EmptyBitmapItemsFetchFromTheContainersSource)
{
    TempDir dir;
    TDUDBitmapList file;
    for (int n = 0; n < 3; ++n)
        static_cast<TDUDBitmapListItem*>(file.Add())->SetBitmap(Filled(n + 2, 2, n == 2 ? clRed : clBlue));
    file.SaveToFile(dir.File("pics.bml"));
    Ramp(5, 4).save(QString::fromStdString(dir.File("pic7.bmp")), "BMP");

    TDUDBitmapList list;
    list.PathPrefix = 3; // the folder of FileName
    list.FileName = dir.File("pics.bml");
    auto* item = static_cast<TDUDBitmapListItem*>(list.Add());
    item->SetIdent(2);
    EXPECT_EQ(0, list.ItemCount(0)); // no source yet
    list.SetSource(1);               // item 2 of the list file
    EXPECT_EQ(1, list.ItemCount(0));
    EXPECT_EQ(4, list.Dimensions(0, 0));
    EXPECT_EQ(clRed, list.GetColorAtPoint({0, 0}, 0, 0));

    item->SetIdent(7);
    list.SetSource(4); // frees the data; "pic" + "7" + ".bmp" beside the list file
    EXPECT_EQ(dir.File("pic7.bmp"), DUDBitmapItemSourceName(list, 7));
    EXPECT_EQ(5, list.Dimensions(0, 0));

    item->SetIdent(8); // no such file, nor item 8 of the list file: empty, no error
    list.SetSource(1);
    EXPECT_FALSE(list.IsValidItem(0, 0));
    list.SetSource(4);
    EXPECT_FALSE(list.IsValidItem(0, 0));
}

TEST(WidgetImageLists, SingleItemsFetchedFromListFiles)
{
    TempDir dir;
    TDUDBitmapList bitmaps;
    for (int n = 0; n < 3; ++n)
        static_cast<TDUDBitmapListItem*>(bitmaps.Add())->SetBitmap(Filled(n + 2, 3, n == 1 ? clRed : clBlue));
    bitmaps.SaveToFile(dir.File("b.bml"));
    QImage bitmap;
    ASSERT_TRUE(DUDBMLGetItem(dir.File("b.bml"), 1, bitmap));
    EXPECT_EQ(QSize(3, 3), bitmap.size());
    EXPECT_EQ(QColor(Qt::red).rgb(), bitmap.pixel(0, 0));
    EXPECT_FALSE(DUDBMLGetItem(dir.File("b.bml"), 3, bitmap));

    TDUDImageList images;
    images.Add();
    static_cast<TDUDImageListItem*>(images.Add())->Add(Ramp(48, 16));
    images.SaveToFile(dir.File("i.iml"));
    TDUDImageListItem item;
    ASSERT_TRUE(DUDIMLGetItem(dir.File("i.iml"), 1, item));
    EXPECT_EQ(3, item.Count());
    EXPECT_THROW(DUDBMLGetItem(dir.File("i.iml"), 0, bitmap), EDUDException); // another type
    EXPECT_THROW(DUDIMLGetItem(dir.File("b.bml"), 0, item), EDUDException);

    TDUDWave wave;
    EXPECT_THROW(DUDWVLGetItem(dir.File("b.bml"), 0, wave), EDUDException);
}

TEST(WidgetImageLists, ResourceLibraryBitmapsComeFromABinaryResourceFile)
{
    TempDir dir;
    // A resource library: bitmaps/7.bmp in a binary resource file made by
    // Qt's resource compiler.
    const QString rcc = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/rcc";
    if (!QFileInfo(rcc).isExecutable())
        GTEST_SKIP() << "Qt's resource compiler is not installed";
    fs::create_directories(dir.path / "src" / "bitmaps");
    Ramp(6, 4).save(QString::fromStdString((dir.path / "src" / "bitmaps" / "7.bmp").string()), "BMP");
    {
        std::ofstream qrc(dir.path / "src" / "lib.qrc");
        qrc << "<RCC><qresource prefix=\"/\"><file>bitmaps/7.bmp</file></qresource></RCC>\n";
    }
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString((dir.path / "src").string()));
    p.start(rcc, {"-binary", "lib.qrc", "-o", QString::fromStdString(dir.File("pic7.rcc"))});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(0, p.exitCode()) << p.readAllStandardError().toStdString();

    EXPECT_EQ(QSize(6, 4), DUDBitmapFromResourceLibrary(dir.File("pic7.rcc"), 7).size());
    EXPECT_TRUE(DUDBitmapFromResourceLibrary(dir.File("pic7.rcc"), 8).isNull()); // no such bitmap
    EXPECT_TRUE(DUDBitmapFromResourceLibrary(dir.File("none.rcc"), 7).isNull());
    EXPECT_TRUE(QImage(":/kyd-resource-library-1/bitmaps/7.bmp").isNull()); // released again

    TDUDBitmapList list;
    list.PathPrefix = 3; // beside FileName
    list.FileName = dir.File("pics.bml");
    auto* item = static_cast<TDUDBitmapListItem*>(list.Add());
    item->SetIdent(7);
    list.SetSource(3);
    EXPECT_EQ(dir.File("pic7.rcc"), DUDBitmapItemSourceName(list, 7));
    EXPECT_EQ(6, list.Dimensions(0, 0));
    EXPECT_EQ(FromQColor(Ramp(6, 4).pixelColor(2, 1)), list.GetColorAtPoint({2, 1}, 0, 0));
}

TEST(WidgetImageLists, InsertImagesCanvasClipDrawAndPalette)
{
    // Images of another item go in before the index, masks with them.
    TDUDImageListItem item;
    item.Add(Filled(48, 16, clBlue));
    TDUDImageListItem other;
    other.SetMasked(true);
    other.AddMasked(Filled(32, 16, clRed), clWhite);
    item.SetMasked(true);
    item.InsertImages(1, other);
    ASSERT_EQ(5, item.Count());
    EXPECT_EQ(QColor(Qt::blue).rgb(), item.GetBitmap(0).pixel(0, 0));
    EXPECT_EQ(QColor(Qt::red).rgb(), item.GetBitmap(1).pixel(0, 0));
    EXPECT_EQ(QColor(Qt::red).rgb(), item.GetBitmap(2).pixel(0, 0));
    EXPECT_EQ(QColor(Qt::blue).rgb(), item.GetBitmap(3).pixel(0, 0));
    item.InsertImages(0, TDUDImageListItem()); // nothing to insert
    EXPECT_EQ(5, item.Count());

    // The canvas paints on the item's own picture.
    TDUDBitmapList bitmaps;
    static_cast<TDUDBitmapListItem*>(bitmaps.Add())->SetBitmap(Filled(10, 10, clRed));
    bitmaps.Add();
    {
        auto canvas = bitmaps.BmpCanvas(0);
        ASSERT_NE(nullptr, canvas);
        canvas->SetPixel(2, 3, clLime);
    }
    EXPECT_EQ(clLime, bitmaps.GetColorAtPoint({2, 3}, 0, 0));
    EXPECT_EQ(nullptr, bitmaps.BmpCanvas(1)); // empty
    EXPECT_EQ(nullptr, bitmaps.BmpCanvas(2)); // beyond the list
    TDUDImageList images;
    static_cast<TDUDImageListItem*>(images.Add())->Add(Filled(32, 16, clBlue));
    images.BmpCanvas(0)->SetPixel(17, 0, clYellow); // the strip: image 1's first column
    EXPECT_EQ(clYellow, images.GetColorAtPoint({1, 0}, 0, 1));

    // Clipped drawing leaves out the colour and stays inside the rectangle.
    QImage pic = Filled(10, 10, clRed);
    pic.setPixel(1, 1, qRgb(0, 0, 255));
    static_cast<TDUDBitmapListItem*>(bitmaps.Item(1))->SetBitmap(pic);
    QImage target = Filled(20, 20, clWhite);
    {
        TQtCanvas c(target);
        bitmaps.ClipDraw(c, {0, 0, 5, 5}, 0, clBlue, 1, 0);
        EXPECT_FALSE(c.ClipRect().has_value()); // the canvas's clip is as it was
    }
    int red = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            red += Px(target, x, y) == clRed;
    EXPECT_EQ(24, red);
    EXPECT_EQ(clWhite, Px(target, 1, 1));
    EXPECT_EQ(clWhite, Px(target, 5, 0));

    // The palette of a picture with a colour table; none for true colour.
    QImage mono(8, 8, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    static_cast<TDUDBitmapListItem*>(bitmaps.Item(1))->SetBitmap(mono);
    EXPECT_EQ((std::vector<TColor>{clBlack, clWhite}), bitmaps.Palette(1));
    EXPECT_TRUE(bitmaps.Palette(0).empty());
    EXPECT_TRUE(bitmaps.Palette(5).empty());
}
