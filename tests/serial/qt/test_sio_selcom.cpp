// The port selection dialog on the offscreen platform.
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioPort.h"
#include "serial/qt/SioSelCom.h"
#include "platform/pty.h"
#include "platform/qt/ui_scale.h"
#include "platform/serial_device.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

class SelCom : public ::testing::Test {
protected:
    void SetUp() override
    {
        pf::setPortResolverUsesSharedIni(false);
    }
    void TearDown() override { pf::clearPortPathOverrides(); }
    pf::PtyMaster pty;
};

TEST_F(SelCom, ListsAPtyRegisteredAsAPortAndTheLayoutNames)
{
    pf::setPortPathOverride(44, pty.slavePath());
    TComSelectForm form;
    EXPECT_EQ("Select Port", form.windowTitle().toStdString());
    ASSERT_NE(nullptr, form.findChild<QLabel*>("Label1"));
    EXPECT_EQ("The configured serial port is not valid.", form.findChild<QLabel*>("Label1")->text().toStdString());
    EXPECT_EQ("Please choose another port.", form.findChild<QLabel*>("Label2")->text().toStdString());
    // The message fits inside its bevel, and everything inside the dialog.
    const QRect bevel = form.findChild<QWidget*>("Bevel1")->geometry();
    for (const char* name : {"Label1", "Label2"}) {
        const QLabel* l = form.findChild<QLabel*>(name);
        EXPECT_LE(kyd::platform::UiScale::TextWidth(l->font(), l->text()), l->width()) << name;
        EXPECT_TRUE(bevel.contains(l->geometry())) << name;
    }
    for (const QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(form.rect().contains(w->geometry())) << w->objectName().toStdString();
    ASSERT_NE(nullptr, form.findChild<QComboBox*>("PortsComboBox"));
    ASSERT_NE(nullptr, form.findChild<QPushButton*>("OkBtn"));
    ASSERT_NE(nullptr, form.findChild<QPushButton*>("AbortBtn"));
    EXPECT_EQ("Cancel", form.AbortBtn->text().toStdString());
    EXPECT_NE(-1, form.PortsComboBox->findText("COM44"));
    form.PortsComboBox->setCurrentIndex(form.PortsComboBox->findText("COM44"));
    EXPECT_EQ("COM44", form.SelectedCom());
    EXPECT_EQ(44, form.SelectedComNum().value_or(0));
    EXPECT_TRUE(form.OkBtn->isEnabled());
}

TEST_F(SelCom, PresenceRules)
{
    EXPECT_FALSE(IsPortAvailable(0));
    pf::setPortPathOverride(45, "/dev/kyd-no-such-tty");
    EXPECT_FALSE(IsPortAvailable(45));
    pf::setPortPathOverride(46, pty.slavePath());
    EXPECT_TRUE(IsPortAvailable(46));
    {
        auto other = pf::createPosixSerialDevice();
        ASSERT_EQ(pf::kDevOk, other->open(pty.slavePath()));
        EXPECT_TRUE(IsPortAvailable(46)); // in use counts as present
        ShowPortsInUse = false;
        EXPECT_FALSE(IsPortAvailable(46));
        ShowPortsInUse = true;
        UseDispatcherForAvail = false;
        EXPECT_TRUE(IsPortAvailable(46));
        UseDispatcherForAvail = true;
    }
    // The probe closed the port again: it opens.
    EXPECT_TRUE(IsPortAvailable(46));
}

TEST_F(SelCom, TwoDigitPortsAndNothingAboveFifty)
{
    int highest = 0;
    TComSelectForm form(nullptr, [&](int n) {
        highest = std::max(highest, n);
        return n == 7 || n == 12 || n == 50;
    });
    EXPECT_EQ(50, highest);
    ASSERT_EQ(3, form.PortsComboBox->count());
    EXPECT_EQ("COM7", form.SelectedCom()); // the first item is selected
    form.PortsComboBox->setCurrentIndex(1);
    EXPECT_EQ(12, form.SelectedComNum().value_or(0));
    form.PortsComboBox->setCurrentIndex(2);
    EXPECT_EQ(50, form.SelectedComNum().value_or(0));
}

TEST_F(SelCom, OkIsDisabledOnAnEmptyList)
{
    TComSelectForm form(nullptr, [](int) { return false; });
    EXPECT_EQ(0, form.PortsComboBox->count());
    EXPECT_FALSE(form.OkBtn->isEnabled());
    EXPECT_FALSE(form.SelectedComNum().has_value());
}

TEST_F(SelCom, InstalledDialogOpensThePortChosenOrRefuses)
{
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    pf::setPortPathOverride(47, pty.slavePath());
    InstallPortPromptDialog();
    const auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* form = dynamic_cast<TComSelectForm*>(QApplication::activeModalWidget());
            ASSERT_NE(nullptr, form);
            if (ok) {
                form->PortsComboBox->setCurrentIndex(form->PortsComboBox->findText("COM47"));
                QTest::mouseClick(form->OkBtn, Qt::LeftButton);
            } else {
                QTest::mouseClick(form->AbortBtn, Qt::LeftButton);
            }
        });
    };
    {
        TSioComPort port;
        port.SetAutoOpen(false);
        answer(false);
        EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
        EXPECT_FALSE(port.GetOpen());
        answer(true);
        port.SetOpen(true);
        EXPECT_TRUE(port.GetOpen());
        EXPECT_EQ(47, port.GetComNumber());
    }
    SetDefaultPortPrompt({});
    pf::setMessageLoop(nullptr);
}

} // namespace
} // namespace sio::test
