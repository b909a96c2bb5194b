// The status window: the status and information texts of the main window,
// the last 100 of them, the newest current and in view.
#pragma once

#include "app/qt/ToolWindow.h"
#include "platform/dialogs.h"

#include <string>

class QListWidget;

namespace kyd::app {

class TStatusListFrame : public ToolWindow {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 100;

    TStatusListFrame(platform::IniFile& ini, QWidget* parent = nullptr);

    void AddLine(const std::string& text, platform::TextCoding coding = platform::TextCoding::Latin1);

    QListWidget* StatusListBox = nullptr;
};

} // namespace kyd::app
