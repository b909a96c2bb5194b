// The main window's command buttons on its pages and tool bar: each button
// of the command table gets its group box (two a row, or appended to an
// item group of the same name), its command as tool tip and one handler
// for its kind.
#pragma once

#include "app/CommandButtons.h"

#include <QObject>

#include <functional>
#include <map>
#include <string>

class QAbstractButton;
class QGroupBox;
class QSpinBox;

namespace kyd::link {
class MainWindowCallbacks;
class TPLVRCmdF;
} // namespace kyd::link

namespace kyd::app {

class TCommandPage;
class TItemPage;

// The last reply without its status character, as the corrupt-reply
// warning quotes it.
std::string ReplyPayload(const link::TPLVRCmdF& cmd);

class TCommandPages : public QObject {
    Q_OBJECT
public:
    // The command layer is asked for on every use (it may be replaced).
    TCommandPages(QWidget* mainWindow, std::function<link::TPLVRCmdF*()> commandLayer,
                  link::MainWindowCallbacks* callbacks);

    // Puts the page's buttons on it: into its item page when it has one,
    // else into the command page (or, for a sheet with a layout of its own,
    // at that layout's end).
    void Populate(const char* page, QWidget* sheet, TItemPage* itemPage, TCommandPage* commandPage);
    // Wires an existing tool button of the table.
    void Wire(QAbstractButton* button);

    // Runs a button of the table as its kind says.
    void Run(const CommandButton& b);

    QAbstractButton* Button(const std::string& name) const;
    const std::map<std::string, QAbstractButton*>& Buttons() const { return buttons_; }
    QSpinBox* CSpinEditReleaseCassette = nullptr;
    QSpinBox* CSpinEditNFClean = nullptr;

private:
    void ShowResult(link::TPLVRCmdF& cmd, const CommandButton& b);
    void Write(link::TPLVRCmdF& cmd, int tag);

    QWidget* main_;
    std::function<link::TPLVRCmdF*()> commandLayer_;
    link::MainWindowCallbacks* callbacks_;
    std::map<std::string, QAbstractButton*> buttons_;
};

} // namespace kyd::app
