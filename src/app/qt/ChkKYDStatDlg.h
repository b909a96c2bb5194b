// The status-check window: the state of the reject vault and every note
// feeder, and the status of each internal task, from the reply to "Q".
// What it shows is decoded in app/DispenserStatus.h.
#pragma once

#include <QDialog>

#include <string>

class QSplitter;
class QTreeWidget;

namespace kyd::link {
class Protokoll;
class TPLVRCmdF;
} // namespace kyd::link

namespace kyd::app {

class TFormCheckKYDStatus : public QDialog {
    Q_OBJECT
public:
    // The status model is not owned.
    TFormCheckKYDStatus(QWidget* owner, link::Protokoll* model);

    // Fills both lists; a corrupt payload is reported in a warning box and
    // gives false (the window is then not to be shown).
    bool ShowStatus(const std::string& payload);

    QTreeWidget* ListViewHopperStatus = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTreeWidget* ListViewTaskStatus = nullptr;

private:
    void FitColumns();

    link::Protokoll* model_;
};

// What the main window's status-check button does: sends "Q"; when that
// succeeded, shows the window when the reply decodes.
void ShowCheckStatusWindow(QWidget* owner, link::TPLVRCmdF& cmd);

} // namespace kyd::app
