// The note-counter window, which reads its counters itself once shown, and
// the item editor that edits one configuration item.
#pragma once

#include "app/qt/CloseAfterRead.h"

#include <QDialog>
#include <QStringList>

#include <string>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace kyd::link {
class MainWindowCallbacks;
class TPLVRCmdF;
} // namespace kyd::link

namespace kyd::app {

class TNoteCounterForm : public CloseAfterReadDialog {
    Q_OBJECT
public:
    // Neither the command layer nor the main window is owned; the main
    // window (its busy state) may be null.
    TNoteCounterForm(QWidget* owner, link::TPLVRCmdF* cmd, link::MainWindowCallbacks* mainWindow);

    // Reads the counters and lists them (queued after the first show).
    void FormShow();
    bool Reading() const { return reading_; }
    QStringList Lines() const;

    QPlainTextEdit* MemoRDCounters = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    // While the counters are read, closing (the close box, Escape) aborts
    // the series; the window closes once the exchange under way has ended.
    bool StopForClose() override;

private:
    link::TPLVRCmdF* cmd_;
    link::MainWindowCallbacks* mainWindow_;
    bool shown_ = false;
    bool reading_ = false;
};

class TModifyItemDlg : public QDialog {
    Q_OBJECT
public:
    explicit TModifyItemDlg(QWidget* owner);

    // Integer mode: the value is payload characters 2 to width + 1 (width
    // 1..6). A read-only item can only be cleared (the Apply button reads
    // "Clear"). A value that is not a number leaves the field empty and is
    // shown as read under the comment ("Value read: "), so that a correct
    // one can be written. Apply refuses only what the item cannot carry
    // (not a number, wider than width digits); for a value outside the
    // range the comment names it asks Yes/No first, No the default.
    void PrepareInteger(const std::string& title, const std::string& payload, bool writable,
                        const std::string& comment, int width);
    // Choice mode: one radio button per line of the option text, the one of
    // the index selected (none when the index names no option).
    void PrepareChoice(const std::string& title, const std::string& options, int index);
    // "0" for an item that can only be cleared, else the value taken by Apply.
    std::string GetValue() const;

    void ApplyBtnClick();
    void ValueChanged();

    QGroupBox* ItemRadioGroup = nullptr;
    QButtonGroup* ItemButtons = nullptr; // the options of the radio group
    QWidget* IntegerPanel = nullptr;
    QLabel* CommentLabel = nullptr;
    QLineEdit* ValueMaskEdit = nullptr;
    QPushButton* ApplyBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* e) override;

private:
    std::string value_;
    std::string range_; // the integer item's range text
    int width_ = 6;     // the integer item's digit count
    bool clearOnly_ = false;
};

} // namespace kyd::app
