// The communication-strings window: every "Out: " and "In : " line of the
// command layer, the last 100 of them.
#pragma once

#include "app/qt/ToolWindow.h"
#include "link/AppContext.h"

#include <cstddef>

class QPlainTextEdit;

namespace kyd::app {

class TComStringDlg : public ToolWindow, public link::ComStringsWindow {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 100;
    // Longest line shown; the rest of a longer one is only counted.
    static constexpr std::size_t kMaxLineChars = 20000;

    TComStringDlg(platform::IniFile& ini, QWidget* parent = nullptr);

    // Appends a line, dropping the oldest beyond 100; a line longer than
    // kMaxLineChars is cut, with the count of what was cut.
    void AddLine(const std::string& text) override;
    // The lines shown, oldest first.
    QStringList Lines() const;

    QPlainTextEdit* CommStrings = nullptr;
};

} // namespace kyd::app
