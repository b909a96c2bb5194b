// The command-string window: the operator types any command text and sends
// it with Enter. The typed commands form a history in the combo box, the
// newest first.
#pragma once

#include "app/qt/ToolWindow.h"

class QComboBox;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TCmdStrForm : public ToolWindow {
    Q_OBJECT
public:
    TCmdStrForm(platform::IniFile& ini, QWidget* parent = nullptr);

    // Not owned; null until the main window hands it over when it is shown.
    link::TPLVRCmdF* CommandLayer() const { return cmd_; }
    void SetCommandLayer(link::TPLVRCmdF* cmd) { cmd_ = cmd; }

    // While an exchange or a batch runs, nothing can be typed or sent.
    void SetBusy(bool busy);

    // Enter in the combo box: sends the text and moves it to the top of the
    // history. Nothing is sent for an empty text, without a command layer,
    // or while busy; a text holding a character the line cannot carry is
    // refused with a message. Whatever happened, the text is left selected.
    void CmdStrEditKeyPress();

    QComboBox* CmdCombo = nullptr;

protected:
    bool event(QEvent* e) override;

private:
    link::TPLVRCmdF* cmd_ = nullptr;
    bool busy_ = false;
};

} // namespace kyd::app
