// The module error log window: the dispenser's error log (item 311, read
// page by page) or its module status (item 397) in one list, saved as text
// and printed.
#pragma once

#include "app/ModuleReports.h"

#include <QDialog>

#include <string>
#include <vector>

class QFrame;
class QPushButton;
class QTreeWidget;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TFormModErrLogDlg : public QDialog {
    Q_OBJECT
public:
    // The command layer (further pages, the status model) is not owned.
    TFormModErrLogDlg(QWidget* owner, link::TPLVRCmdF* cmd);

    // Page 0 is the payload given; pages 1 to 3 are read until a task 0
    // record ends the log. A failed page read keeps what was read; a
    // corrupt page is reported and the result is false.
    bool LoadErrorLog(const std::string& payload);
    bool LoadModuleStatus(const std::string& payload);

    void SaveButtonClick();
    void PrintButtonClick();

    const std::vector<LogRow>& Rows() const { return rows_; }

    QTreeWidget* ListViewModErrLog = nullptr;
    QFrame* PanelButtons = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;

private:
    void AddRow(const LogRow& row);
    void FitDescriptions();
    bool Refuse(const std::string& payload);

    link::TPLVRCmdF* cmd_;
    std::vector<LogRow> rows_;
};

// Reads the error log or the module status and shows the window when its
// fill succeeded.
void ShowErrorLogWindow(QWidget* owner, link::TPLVRCmdF& cmd);
void ShowModuleStatusWindow(QWidget* owner, link::TPLVRCmdF& cmd);

} // namespace kyd::app
