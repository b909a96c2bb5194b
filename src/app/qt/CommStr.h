// The communication-strings window: every "Out: " and "In : " line of the
// command layer, the last 100 of them.
#pragma once

#include "app/qt/ToolWindow.h"
#include "link/AppContext.h"

class QPlainTextEdit;

namespace kyd::app {

class TComStringDlg : public ToolWindow, public link::ComStringsWindow {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 100;

    TComStringDlg(platform::IniFile& ini, QWidget* parent = nullptr);

    // Appends a line, dropping the oldest beyond 100.
    void AddLine(const std::string& text) override;
    // The lines shown, oldest first.
    QStringList Lines() const;

    QPlainTextEdit* CommStrings = nullptr;
};

} // namespace kyd::app
