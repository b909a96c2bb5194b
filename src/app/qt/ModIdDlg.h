// The module id window: the standard module ids (item 110, pages 0 to 2)
// and the extended ones (page 3, read when its page is first shown); one
// record edited in the edit dialog and written back; saved and printed.
#pragma once

#include "app/ModuleReports.h"

#include <QDialog>

#include <string>
#include <vector>

class QAction;
class QFrame;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TEditModIdDlg : public QDialog {
    Q_OBJECT
public:
    // Edits row (not owned): the standard panel for a standard row, the
    // extended panel otherwise.
    TEditModIdDlg(QWidget* owner, ModIdRow* row);

    void EditChange();
    // Writes the edits back into the row, padded to the field widths; false,
    // with a message and the row unchanged, when an edit is not printable
    // ASCII.
    bool SaveBtnClick();

    QFrame* StdPanel = nullptr;
    QLineEdit* ModuleEdit = nullptr;
    QLineEdit* TypeEdit = nullptr;
    QLineEdit* RevEdit = nullptr;
    QLineEdit* FieldRevEdit = nullptr;
    QLineEdit* SerialNrEdit = nullptr;
    QFrame* ExtPanel = nullptr;
    QLineEdit* xModuleEdit = nullptr;
    QLineEdit* ValueEdit = nullptr;
    QPushButton* SaveBtn = nullptr;
    QPushButton* CloseBtn = nullptr;

private:
    ModIdRow* row_;
};

class TModuleIdDlg : public QDialog {
    Q_OBJECT
public:
    // The command layer is not owned.
    TModuleIdDlg(QWidget* owner, link::TPLVRCmdF* cmd);

    // Page 0 is the payload given; pages 1 and 2 are read. Always true.
    bool LoadModuleIds(const std::string& payload);

    void PageControl1Change();
    void ListViewModIdSelectItem(QTreeWidgetItem* item);
    void Edit1Click();
    void SaveButtonClick();
    void PrintButtonClick();

    const std::vector<ModIdRow>& Standard() const { return standard_; }
    const std::vector<ModIdRow>& Extended() const { return extended_; }

    QTabWidget* PageControl1 = nullptr;
    QTreeWidget* ListViewModId = nullptr;
    QTreeWidget* ListViewExtModId = nullptr;
    QAction* Edit1 = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* SaveButton = nullptr;

private:
    void Show(QTreeWidget* list, const std::vector<ModIdRow>& rows);
    void Refresh(QTreeWidgetItem* item, const ModIdRow& row);

    link::TPLVRCmdF* cmd_;
    std::vector<ModIdRow> standard_;
    std::vector<ModIdRow> extended_;
    QTreeWidgetItem* selected_ = nullptr;
};

// Reads RD/110/0 and shows the window.
void ShowModuleIdWindow(QWidget* owner, link::TPLVRCmdF& cmd);

} // namespace kyd::app
