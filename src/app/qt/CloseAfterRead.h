// A window that reads from the dispenser and may be closed while a read
// runs (the close box, Escape, a button): the close stops what runs, and
// when an exchange is still under way the window goes once it has ended,
// with the result the close asked for, never from inside the exchange.
#pragma once

#include <QDialog>

namespace kyd::app {

class CloseAfterReadDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

    // True from a close held back by a read until the read has ended.
    bool CloseHeld() const { return closeHeld_; }

    // Holds the close back while StopForClose() says an exchange runs.
    void done(int r) override;

protected:
    // Stops what the window runs for a close; true when an exchange is still
    // under way, so the close must wait for ReadEnded().
    virtual bool StopForClose() = 0;
    // The window's read has ended: a close held back meanwhile is done now.
    void ReadEnded();

private:
    bool closeHeld_ = false;
    int heldResult_ = QDialog::Rejected;
};

} // namespace kyd::app
