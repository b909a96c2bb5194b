// The transaction runner's window: which transaction runs, what it is doing
// ("Feeding", "Delay n", "Remove notes", "Done", "Aborted") and the
// Abort button, which reads "Close" once the run has ended. The run itself
// is app/TransactionRunner.h, ticked by the window's timer.
#pragma once

#include "app/TransactionRunner.h"
#include "app/qt/CloseAfterRead.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TFormTransaction : public CloseAfterReadDialog {
    Q_OBJECT
public:
    // The command layer is not owned.
    TFormTransaction(QWidget* owner, link::TPLVRCmdF* cmd);
    ~TFormTransaction() override;

    void Setup(const TransactionSetup& setup);
    TransactionRunner& Runner() { return *runner_; }

    // Handlers.
    void TimerTransDelayTimer();
    void ButtonAbortTransClick();

    // Components.
    QLabel* LabelTransNr = nullptr;
    QLabel* LabelRequested = nullptr;
    QLabel* LabelStatus = nullptr;
    QPushButton* ButtonAbortTrans = nullptr;
    QTimer* TimerTransDelay = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    // Closing during a run aborts it (the exchange under way is cancelled);
    // the window goes once that exchange has ended.
    bool StopForClose() override;

private:
    class Timer;
    void ShowState();

    std::unique_ptr<Timer> timer_;
    std::unique_ptr<TransactionRunner> runner_;
};

} // namespace kyd::app
