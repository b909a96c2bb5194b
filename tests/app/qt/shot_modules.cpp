// Pictures of the command pages (Info/Statistics, Transactions' command
// group, Service, TCD), the module error log, the module status, both pages
// of the module id window and its edit dialog, filled from the simulator.
#include "support_pty_app.h"
#include "support/screenshot.h"

#include "app/qt/ItemPages.h"
#include "app/qt/ModErrLogDlg.h"
#include "app/qt/ModIdDlg.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"

#include <QAbstractButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace kyd::app::test {
namespace {

class ModuleShots : public PtyAppFixture {
protected:
    ~ModuleShots() override { SetModalHandler({}); }
    void Shoot(QWidget* w, const char* name) { EXPECT_FALSE(kyd::test::SaveScreenshot(w, name).isEmpty()) << name; }
    // Clicks a button and takes the picture of the window it opens.
    void ShootWindow(const char* button, const char* name, std::function<void(QDialog&)> work = {})
    {
        bool shot = false;
        SetModalHandler([&](QDialog& d) {
            shot = true;
            d.show();
            ProcessEvents();
            Shoot(&d, name);
            if (work)
                work(d);
            d.hide();
            return int(QDialog::Rejected);
        });
        Main().findChild<QAbstractButton*>(button)->click();
        SetModalHandler({});
        EXPECT_TRUE(shot) << name;
    }
};

TEST_F(ModuleShots, CommandPagesAndModuleWindows)
{
    StartOnPty();
    std::vector<sim::ErrorLogEntry> log;
    for (int i = 0; i < 40; ++i)
        log.push_back({3 + i % 8, i % 6, std::to_string(1200 + 7 * i)});
    log.push_back({25, 3, "0042"});
    simulator.withCore([&](sim::SimCore& c) { c.setErrorLog(log); });

    const std::pair<const char*, const char*> pages[] = {{"InfoStatisticsTabSheet", "command_page_info"},
                                                         {"TabSheetTrans", "command_page_transactions"},
                                                         {"ServiceItemTabSheet", "command_page_service"},
                                                         {"TabSheetTCD", "command_page_tcd"}};
    for (const auto& [sheet, name] : pages) {
        Main().MenuPageControl->setCurrentWidget(Main().MenuPageControl->findChild<QWidget*>(sheet));
        ProcessEvents();
        Shoot(&Main(), name);
    }
    ShootWindow("RDModErrorLogButton", "module_error_log");
    ShootWindow("RDModStatusButton", "module_status");
    ShootWindow("ModIdButton", "module_id_standard", [this](QDialog& d) {
        auto& w = static_cast<TModuleIdDlg&>(d);
        w.ListViewModId->setCurrentItem(w.ListViewModId->topLevelItem(0));
        SetModalHandler([this](QDialog& e) {
            e.show();
            ProcessEvents();
            Shoot(&e, "module_id_edit");
            e.hide();
            return int(QDialog::Rejected);
        });
        w.Edit1Click();
        w.PageControl1->setCurrentIndex(1);
        ProcessEvents();
        Shoot(&w, "module_id_extended");
    });
}

} // namespace
} // namespace kyd::app::test
