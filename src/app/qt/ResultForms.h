// The small windows that show what a data command returned: the last
// dispense status, the reject trace and the read-data window (program ids,
// currency codes, reject and status tables). Each is created by its caller,
// filled, and shown modally only when the fill succeeded. What they show is
// decoded in app/ResultDecoders.h.
#pragma once

#include <QDialog>
#include <QStringList>

#include <string>
#include <vector>

class QPlainTextEdit;
class QTreeWidget;

namespace kyd::link {
class Protokoll;
}

namespace kyd::app {

// Dialog-frame window centred on the main window.
class TReadLastStatusForm : public QDialog {
    Q_OBJECT
public:
    // The status model is not owned.
    TReadLastStatusForm(QWidget* owner, link::Protokoll* model);

    // Caption = title; one row per record of the model's feeder list
    // (number, notes, status). False when a record is broken, after a
    // warning that quotes the reply's payload.
    bool ShowLastStatus(const std::string& title, const std::string& reply = {});

    QTreeWidget* RLSListView = nullptr;

private:
    link::Protokoll* model_;
};

class TRejectDlgForm : public QDialog {
    Q_OBJECT
public:
    explicit TRejectDlgForm(QWidget* owner);

    // The trace from its oldest code on. Every trace shows (a character
    // that is no reject code has a blank text): always true.
    bool ShowTrace(const std::string& trace);

    QPlainTextEdit* RejectMemo = nullptr;
};

class TKYDShowReadDataFrame : public QDialog {
    Q_OBJECT
public:
    // The status model (for its text base) is not owned.
    TKYDShowReadDataFrame(QWidget* owner, link::Protokoll* model);

    // Each fill reports a corrupt payload in a warning box and returns false.
    bool ShowProgramIds(const std::string& payload);
    bool ShowCurrencyCodes(const std::string& payload);
    // kind 0: the reject table (item 300); 1: the status table (item 301).
    bool ShowTable(const std::string& payload, int kind);

    QStringList Lines() const;

    QPlainTextEdit* ShowReadDataMemo = nullptr;

private:
    bool Refuse(const std::string& payload);
    void SetLines(const std::vector<std::string>& lines);

    link::Protokoll* model_;
};

// The warning a result window gives for a reply it cannot show:
// "Corrupted reply string from KYD:\n" and the payload.
void WarnCorruptedReply(const std::string& payload);

// Read-only memo with tabs kept and no word wrap, as the result windows use.
QPlainTextEdit* NewResultMemo(QWidget* parent, const char* name);
// The memo's lines.
QStringList MemoLines(const QPlainTextEdit* memo);
// A result memo filling the whole dialog, which gets its design size.
QPlainTextEdit* NewDialogMemo(QDialog* dialog, const char* name, QSize designSize);
// Shows lines (Latin-1) as the memo's text.
void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines);

} // namespace kyd::app
