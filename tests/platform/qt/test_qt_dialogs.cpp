#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/ui_scale.h"

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

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
