// The Scripts menu's open dialog as the operator sees it: the program's real
// file dialog, its file type chosen with the keyboard, a file picked by
// typing its name.
#include "support_app.h"

#include "app/qt/PLVRMain.h"
#include "link/TDLScript.h"
#include "platform/clock.h"
#include "platform/qt/qt_dialogs.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace kyd::app::test {
namespace {

// Runs act once, on the first file dialog shown, after the show has been
// handled.
class OnFileDialogShown : public QObject {
public:
    explicit OnFileDialogShown(std::function<void(QFileDialog&)> act) : act_(std::move(act))
    {
        qApp->installEventFilter(this);
    }
    ~OnFileDialogShown() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        auto* dialog = qobject_cast<QFileDialog*>(watched);
        if (dialog && e->type() == QEvent::Show && act_) {
            QTimer::singleShot(0, dialog, [dialog, act = std::move(act_)] { act(*dialog); });
            act_ = nullptr;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void(QFileDialog&)> act_;
};

class ScriptOpenDialogTest : public AppFixture {
protected:
    ~ScriptOpenDialogTest() override { platform::setDialogs(&dialogs); }

    // The names the dialog's file list shows.
    static QStringList Listed(QFileDialog& d)
    {
        auto* view = d.findChild<QListView*>("listView");
        QStringList names;
        if (!view || !view->model())
            return names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
        return names;
    }
};

// On Linux a file needs no extension: "All Files" lists every file, also
// one without a dot in its name, and a script so named opens and runs.
TEST_F(ScriptOpenDialogTest, AllFilesListsAScriptWithoutAnExtension)
{
    std::filesystem::create_directories(Path("scripts"));
    WriteFile("scripts/checkall", "READ_PROGRAM_ID\n");
    WriteFile("scripts/notes.txt", "not a script\n");
    WriteFile("scripts/reset.tdl", "RESET\n");
    Start();
    App().Ini().writeString("TDL", "dir", Path("scripts"));

    platform::QtDialogs real;
    platform::setDialogs(&real);
    QStringList tdlListed, allListed;
    QString allFilter;
    OnFileDialogShown picker([&](QFileDialog& d) {
        auto* types = d.findChild<QComboBox*>("fileTypeCombo");
        auto* name = d.findChild<QLineEdit*>("fileNameEdit");
        if (!types || !name) {
            ADD_FAILURE() << "not the file dialog the test knows";
            d.reject();
            return;
        }
        // The listing comes from a thread of its own; the waits end on the
        // events that bring it (the real clock bounds them).
        platform::setClock(nullptr);
        EXPECT_TRUE(loop.pumpUntil([&] { return Listed(d).contains("reset.tdl"); }, 60'000));
        tdlListed = Listed(d);
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        allFilter = d.selectedNameFilter();
        // The text file shows once the new filter has been applied.
        EXPECT_TRUE(loop.pumpUntil([&] { return Listed(d).contains("notes.txt"); }, 60'000));
        allListed = Listed(d);
        platform::setClock(&clock);
        name->setFocus();
        QTest::keyClicks(name, "checkall");
        QTest::keyClick(name, Qt::Key_Return);
        if (d.isVisible())
            d.reject(); // the name was not taken: the test has failed
    });
    Main().OpenTDLfile->trigger();

    EXPECT_EQ(tdlListed, QStringList{"reset.tdl"});
    EXPECT_EQ(allFilter.toStdString(), "All Files (*)");
    EXPECT_TRUE(allListed.contains("checkall")) << allListed.join(", ").toStdString();
    EXPECT_TRUE(allListed.contains("reset.tdl")) << allListed.join(", ").toStdString();
    ASSERT_NE(Main().OpenedScript(), nullptr);
    EXPECT_EQ(Main().OpenedScript()->FileName(), Path("scripts/checkall"));
    ASSERT_FALSE(Port().written.empty());
    EXPECT_EQ(Port().written.front().substr(0, 1), "A");
    EXPECT_TRUE(exceptions.messages().empty());
}

} // namespace
} // namespace kyd::app::test
