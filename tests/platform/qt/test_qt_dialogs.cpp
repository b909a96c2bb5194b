#include "platform/qt/qt_dialogs.h"
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/ui_scale.h"

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace kyd::platform {

namespace {
// Runs check() on the modal widget once it shows, from inside its exec().
void whenModal(std::function<void(QWidget*)> check)
{
    QTimer::singleShot(0, [check] {
        if (QWidget* w = QApplication::activeModalWidget())
            check(w);
        else
            QTimer::singleShot(1, [check] { whenModal(check); });
    });
}
} // namespace

TEST(QtDialogs, MessageBoxIsPlainTextWithTheRightIconAndButtons)
{
    QtDialogs d;
    bool checked = false;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text(), QString::fromLatin1("<b>7</b> \xE9"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Abort | QMessageBox::Ignore);
        checked = true;
        box->button(QMessageBox::Ignore)->click();
    });
    std::string text = "<b>7</b> \xE9"; // device bytes, not markup
    EXPECT_EQ(d.messageDlg(text, DlgType::Error, DlgButtons::AbortIgnore), DlgResult::Ignore);
    EXPECT_TRUE(checked);
}

// Once the program is ending no box waits for an operator: each answers as
// closed without a button (the file choosers and the input as cancelled),
// and what a message box would have said goes to standard error.
TEST(QtDialogs, NoBoxIsShownOnceTheProgramIsEnding)
{
    PlainMessageLoop loop; // its quit touches nothing of Qt's
    setMessageLoop(&loop);
    loop.requestQuit();
    QtDialogs d;
    // A box that shows all the same is counted and closed, so the test ends.
    int shown = 0;
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&shown] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            ++shown;
            w->close();
        }
    });
    closer.start();
    testing::internal::CaptureStderr();
    EXPECT_EQ(d.messageDlg("The settings could not be saved: x", DlgType::Error, DlgButtons::Ok), DlgResult::Ok);
    EXPECT_EQ(d.messageDlg("Replace?", DlgType::Confirmation, DlgButtons::YesNo), DlgResult::No);
    EXPECT_EQ(d.messageDlg("Stop?", DlgType::Error, DlgButtons::AbortIgnore), DlgResult::Abort);
    EXPECT_EQ(d.messageDlg("Go on?", DlgType::Warning, DlgButtons::OkCancel), DlgResult::Cancel);
    d.showMessage("File demo1.tdl aborted!");
    std::string value = "12";
    EXPECT_FALSE(d.inputQuery("Run", "How often?", value));
    EXPECT_EQ(value, "12");
    EXPECT_EQ(d.openFile("Open", ".", {}), std::nullopt);
    EXPECT_EQ(d.saveFile("Save", ".", "log.txt", {}), std::nullopt);
    const std::string err = testing::internal::GetCapturedStderr();
    closer.stop();
    setMessageLoop(nullptr);
    EXPECT_EQ(shown, 0);
    EXPECT_NE(err.find("Error: The settings could not be saved: x"), std::string::npos) << err;
    EXPECT_NE(err.find("File demo1.tdl aborted!"), std::string::npos) << err;
}

TEST(QtDialogs, AFileNameReadsAsTheFileSystemNamesItAndDeviceTextsStayLatin1)
{
    // The file system's names are UTF-8 bytes; a dispenser text is Latin-1.
    const std::string name = "/tmp/pr\xC3\xBC" "fung.hex";
    EXPECT_EQ(messageText("Cannot read " + name, TextCoding::FileSystem),
              QString::fromUtf8("Cannot read /tmp/pr\u00FCfung.hex"));
    EXPECT_EQ(messageText("Ger\xE4t \xC3\xBC", TextCoding::Latin1), QString::fromUtf8("Ger\u00E4t \u00C3\u00BC"));
    // A text from a file in UTF-8 (a script saved by a current editor).
    EXPECT_EQ(messageText("m\xC3\xABssage \xE2\x82\xAC", TextCoding::Utf8), QString::fromUtf8("m\u00EBssage \u20AC"));

    QtDialogs d;
    QStringList shown;
    auto closeOnShow = [&] {
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            shown << box->text();
            box->button(QMessageBox::Ok)->click();
        });
    };
    closeOnShow();
    d.messageDlg("Could not write file: " + name, DlgType::Error, DlgButtons::Ok, TextCoding::FileSystem);
    closeOnShow();
    d.showMessage("File " + name + " aborted!", TextCoding::FileSystem);
    closeOnShow();
    d.messageDlg("pr\xFC" "fung", DlgType::Error, DlgButtons::Ok);
    EXPECT_EQ(shown, (QStringList{QString::fromUtf8("Could not write file: /tmp/pr\u00FCfung.hex"),
                                  QString::fromUtf8("File /tmp/pr\u00FCfung.hex aborted!"),
                                  QString::fromUtf8("pr\u00FCfung")}));

    QString prompt;
    whenModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        prompt = dlg->labelText();
        dlg->reject();
    });
    std::string answer;
    EXPECT_FALSE(d.inputQuery("Repeat count", "Number of times to run " + name, answer, TextCoding::FileSystem));
    EXPECT_EQ(prompt, QString::fromUtf8("Number of times to run /tmp/pr\u00FCfung.hex"));
}

TEST(QtDialogs, AShortMessageBoxIsStillAsWideAsItsTitle)
{
    QtDialogs d;
    const std::string before = applicationTitle();
    setApplicationTitle("KYDTest - Dispenser on COM49");
    int width = 0, needed = 0;
    whenModal([&](QWidget* w) {
        width = w->width();
        needed = UiScale::TitleWidth(w, w->windowTitle());
        static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
    });
    d.showMessage(" Program ID: 1");
    setApplicationTitle(before);
    EXPECT_GE(width, needed);
    EXPECT_GT(needed, 0);
}

TEST(QtDialogs, ClosingAConfirmationAnswersNo)
{
    QtDialogs d;
    whenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        box->reject();
    });
    EXPECT_EQ(d.messageDlg("Sure?", DlgType::Confirmation, DlgButtons::YesNo), DlgResult::No);
}

// A question whose Yes erases data: Enter answers No; a plain question
// keeps Yes as its default.
TEST(QtDialogs, EnterOnADestructiveQuestionAnswersNo)
{
    QtDialogs d;
    auto pressEnter = [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    };
    whenModal(pressEnter);
    EXPECT_EQ(d.messageDlg("Erase?", DlgType::Confirmation, DlgButtons::YesNoDefaultNo), DlgResult::No);
    whenModal(pressEnter);
    EXPECT_EQ(d.messageDlg("Sure?", DlgType::Confirmation, DlgButtons::YesNo), DlgResult::Yes);
}

// The print dialog offers the file it is given for printing to a file.
TEST(QtDialogs, PrintDialogOffersTheGivenFile)
{
    QtPrinting printing;
    QString offered;
    whenModal([&](QWidget* w) {
        if (auto* name = w->findChild<QLineEdit*>("filename"))
            offered = name->text();
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_EQ(printing.ChoosePrinter("Report", "/srv/reports/ModuleId.pdf"), nullptr);
    EXPECT_EQ(offered, "/srv/reports/ModuleId.pdf");
}

// A name typed without its extension gets it before the dialog looks for a
// file of that name, so replacing an existing report is asked about.
TEST(QtDialogs, SaveDialogAddsTheDefaultSuffixBeforeItAsksAboutReplacing)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kyd_save_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ModuleErrLog.txt") << "old report";
    QtDialogs d;
    QString asked;
    QString suffix;
    whenModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        suffix = dlg->defaultSuffix();
        // The question comes up inside accept(): answered No, the dialog
        // stays; then it is cancelled.
        whenModal([&](QWidget* box) {
            if (auto* m = qobject_cast<QMessageBox*>(box)) {
                asked = m->text();
                m->button(QMessageBox::No) ? m->button(QMessageBox::No)->click() : m->reject();
            }
        });
        dlg->selectFile("ModuleErrLog");
        QMetaObject::invokeMethod(dlg, "accept", Qt::DirectConnection);
        dlg->reject();
    });
    EXPECT_EQ(d.saveFile("Save As", dir.string(), "ModuleErrLog.txt", {{"Text files", "*.txt"}}, true, "txt"),
              std::nullopt);
    EXPECT_EQ(suffix, "txt");
    EXPECT_TRUE(asked.contains("ModuleErrLog.txt")) << asked.toStdString();
    std::filesystem::remove_all(dir);
}

TEST(QtDialogs, InputQueryReturnsTheEnteredText)
{
    QtDialogs d;
    whenModal([](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->labelText(), "Value:");
        EXPECT_EQ(dlg->textValue(), "old");
        dlg->setTextValue("new");
        dlg->accept();
    });
    std::string value = "old";
    EXPECT_TRUE(d.inputQuery("Item", "Value:", value));
    EXPECT_EQ(value, "new");

    whenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(d.inputQuery("Item", "Value:", value));
    EXPECT_EQ(value, "new");
}

} // namespace kyd::platform
