// The screen's cursor table and the application object's own cursor.
#include "widgets/services/application.h"
#include "widgets/services/qt/cursors.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLibraryInfo>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>

using namespace kyd::widgets;

TEST(WidgetCursors, StandardNumbersAndInstalledCursors)
{
    EXPECT_EQ(Qt::ArrowCursor, DUDScreenCursor(0).shape());
    EXPECT_EQ(Qt::IBeamCursor, DUDScreenCursor(-4).shape());
    EXPECT_EQ(Qt::PointingHandCursor, DUDScreenCursor(-21).shape());
    EXPECT_EQ(Qt::BlankCursor, DUDScreenCursor(-1).shape());
    EXPECT_EQ(Qt::ArrowCursor, DUDScreenCursor(5).shape()); // nothing there
    DUDSetScreenCursor(5, QCursor(Qt::CrossCursor));
    EXPECT_EQ(Qt::CrossCursor, DUDScreenCursor(5).shape());
    DUDSetScreenCursor(5, std::nullopt);
    EXPECT_EQ(Qt::ArrowCursor, DUDScreenCursor(5).shape());
}

TEST(WidgetCursors, TheApplicationObjectInstallsTheProgramsCursorResource)
{
    DUDInstallQtCursors();
    {
        // A program without the resource: nothing installed.
        TDUDApplication app("kyd-test-cursor-none", false);
        EXPECT_FALSE(DUDLoadCursorResource(kDUDCursorResource).has_value());
        EXPECT_EQ(Qt::ArrowCursor, DUDScreenCursor(kDUDApplicationCursor).shape());
    }

    // With the resource (a binary resource file made by Qt's resource
    // compiler, registered as the program's): installed as cursor -255.
    const QString rcc = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/rcc";
    if (!QFileInfo(rcc).isExecutable())
        GTEST_SKIP() << "Qt's resource compiler is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("cursors"));
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    ASSERT_TRUE(picture.save(dir.filePath("cursors/16548.png")));
    {
        QFile qrc(dir.filePath("c.qrc"));
        ASSERT_TRUE(qrc.open(QIODevice::WriteOnly));
        qrc.write("<RCC><qresource prefix=\"/\"><file>cursors/16548.png</file></qresource></RCC>\n");
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(rcc, {"-binary", "c.qrc", "-o", "c.rcc"});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(0, p.exitCode());
    ASSERT_TRUE(QResource::registerResource(dir.filePath("c.rcc")));
    {
        TDUDApplication app("kyd-test-cursor", false);
        const QCursor c = DUDScreenCursor(kDUDApplicationCursor);
        EXPECT_EQ(Qt::BitmapCursor, c.shape());
        EXPECT_EQ(QSize(32, 32), c.pixmap().size());
    }
    QResource::unregisterResource(dir.filePath("c.rcc"));
    DUDSetScreenCursor(kDUDApplicationCursor, std::nullopt);
    DUDSetCursorInstaller({});
}
