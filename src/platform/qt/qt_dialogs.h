// The dialogs service of the program: Qt message boxes (plain text only:
// replies are device data, never markup), input dialog and file choosers.
// Use it on the main thread. Once the program is ending (the message loop's
// quit was requested) no dialog is shown: a message box answers as closed
// without a button (its text goes to standard error), the others as
// cancelled.
#pragma once

#include "platform/dialogs.h"

#include <QString>

namespace kyd::platform {

// A message's bytes as the box shows them (see TextCoding).
QString messageText(const std::string& text, TextCoding coding);

class QtDialogs final : public Dialogs {
public:
    DlgResult messageDlg(const std::string& text, DlgType type, DlgButtons buttons,
                         TextCoding coding = TextCoding::Latin1) override;
    void showMessage(const std::string& text, TextCoding coding = TextCoding::Latin1) override;
    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                    TextCoding coding = TextCoding::Latin1) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                        const std::vector<FileFilter>& filters) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& initialDir,
                                        const std::string& defaultName, const std::vector<FileFilter>& filters,
                                        bool confirmOverwrite = true, const std::string& defaultSuffix = {}) override;
};

} // namespace kyd::platform
