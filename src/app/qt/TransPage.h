// The Transactions page: the note counts of the eight feeders, the deliver
// option after a move forward, the number of transactions with the delay
// between them and the throat check, and Start; and the transaction options
// of the TCD page (dispense or move forward, left or right teller). One
// transaction is sent from here; more run in the transaction window.
#pragma once

#include "app/TransactionRunner.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

// The TCD page's group "Transaction Options".
class TTcdTransOptions : public QWidget {
    Q_OBJECT
public:
    explicit TTcdTransOptions(QWidget* parent);

    // 0 dispense, 1 move forward.
    int CommandIndex() const;
    // '0' left teller, '1' right teller.
    char Teller() const;

    QGroupBox* RadioGroupTransCmd = nullptr;
    QRadioButton* TransCmdDispense = nullptr;
    QRadioButton* TransCmdMoveForward = nullptr;
    QGroupBox* TellerRadioGroup = nullptr;
    QRadioButton* TellerLeft = nullptr;
    QRadioButton* TellerRight = nullptr;

signals:
    void CommandChanged(int index);
    void TellerChanged(char teller);
};

class TTransPage : public QWidget {
    Q_OBJECT
public:
    using CommandSource = std::function<link::TPLVRCmdF*()>;
    // What "Start" runs with more than one transaction: the transaction
    // window, modal, for the settings.
    using RunSeries = std::function<void(const TransactionSetup&)>;

    TTransPage(QWidget* parent, const TTcdTransOptions* options, CommandSource commands,
               std::function<char()> teller, RunSeries runSeries);

    // The settings of the page and the TCD options, as the runner takes them.
    TransactionSetup Settings() const;

    // Handlers.
    void EditNFChange();
    void ClearNFNotesButtonClick();
    void MFOptionComboBoxChange();
    void CSpinEditNoOfTransChange();
    void RadioGroupTransCmdClick();
    void StartTransButtonClick();

    std::array<QSpinBox*, 8> CSpinEditNF{};
    QLabel* TotNumNotesLabel = nullptr;
    QPushButton* ClearNFNotesButton = nullptr;
    QGroupBox* DeliverOptionsGroupBox = nullptr;
    QComboBox* MFOptionComboBox = nullptr;
    QLabel* LabelNoOfTrans = nullptr;
    QSpinBox* CSpinEditNoOfTrans = nullptr;
    QLabel* LabelDelay = nullptr;
    QSpinBox* CSpinEditDelay = nullptr;
    QCheckBox* AutoChkThroatCheckBox = nullptr;
    QPushButton* StartTransButton = nullptr;
    // The command buttons of the page go into these two.
    QGroupBox* TransCmdGroupBox = nullptr;
    QGroupBox* KYD050CmdGroupBox = nullptr;

protected:
    // "Start" is the page's default button: Enter that no control of the
    // page took (a count, the deliver option, a check box) starts, as the
    // default button of a dialog does; on a focused push button Enter
    // presses that button.
    void keyPressEvent(QKeyEvent* e) override;

private:
    int Total() const;
    // Shows what the rules allow.
    void ApplyRules();

    const TTcdTransOptions* options_;
    CommandSource commands_;
    std::function<char()> teller_;
    RunSeries runSeries_;
    TransactionRules rules_;
    bool applying_ = false;
};

} // namespace kyd::app
