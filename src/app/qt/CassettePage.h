// The main window's Cassette page: pick a cassette position (the reject
// vault or note cassette 1..8), read and write its id, denomination and
// note size, and open, lock or close that one cassette.
#pragma once

#include "app/Denomination.h"
#include "platform/dialogs.h"

#include <QWidget>

#include <functional>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TCassettePage : public QWidget {
    Q_OBJECT
public:
    // The command layer is asked for on every use (it may be replaced).
    TCassettePage(QWidget* parent, std::function<link::TPLVRCmdF*()> commandLayer);

    // The selected position: 0 the reject vault, 1..8 the cassettes, -1 none.
    int TabIndex() const;
    // Selects a position (-1: none) without reading it.
    void SetTabIndex(int index);

    // Handlers.
    void TabSheetCassItemShow();
    void TabControlCassItemChange();
    void ButtonSetCassIdClick();
    void ButtonSetDenomClick();
    void ButtonSetNoteSizeClick();
    void ButtonCassOpenClick(QAbstractButton* sender);
    void ButtonCassCloseClick();

    // Components.
    QWidget* TabControlCassItem = nullptr; // the position buttons "RV", "NC 1".."NC 8"
    QButtonGroup* TabButtons = nullptr;    // exclusive; id = position
    QGroupBox* GroupBoxCassID = nullptr;
    QLineEdit* MaskEditCassId = nullptr;
    QPushButton* ButtonSetCassId = nullptr;
    QGroupBox* GroupBoxCassDenom = nullptr;
    QComboBox* ComboBoxCurrency = nullptr;
    QComboBox* ComboBoxDemValue = nullptr;
    QLineEdit* MaskEditDenVariant = nullptr;
    QPushButton* ButtonSetDenom = nullptr;
    QGroupBox* GroupBoxNoteSize = nullptr;
    QLineEdit* MaskEditNoteHeigth = nullptr;
    QLineEdit* MaskEditNoteWidth = nullptr;
    QPushButton* ButtonSetNoteSize = nullptr;
    QPushButton* ButtonReadCassItems = nullptr;
    QPushButton* ButtonCassOpen = nullptr;    // Tag 1
    QPushButton* ButtonLockToFrame = nullptr; // Tag 0
    QPushButton* ButtonCassClose = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void BuildControls();
    void EnablePositionControls(bool on);
    void ClearFields();
    // What a failed read of a position says: "No Cassette in this
    // position" when the dispenser knows no cassette there, else the
    // status text (taken from the model right after the read).
    struct ReadFailure {
        platform::DlgType Type = platform::DlgType::Error;
        std::string Text;
    };
    ReadFailure FailedRead(int position) const;
    // Shows a denomination (cleared when invalid) as the one the position
    // holds; "Set Denomination" goes off.
    void ShowDenomination(const TDenomination& d);
    link::TPLVRCmdF* Cmd() const;

    std::function<link::TPLVRCmdF*()> commandLayer_;
};

} // namespace kyd::app
