// The port selection dialog: lists the serial ports COM1 to COM50 that can
// be used and returns the number of the one chosen. The serial port
// component shows it (through its port prompt) when it is asked to open a
// port while its ComNumber is 0.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QPushButton;

namespace sio {

// Test a port by opening it (and closing it at once); when false, by the
// same exclusive open done directly on the device.
extern bool UseDispatcherForAvail;
// List ports that exist but are in use (or that this user may not open).
extern bool ShowPortsInUse;

// True when COMn exists: it opens, or it is in use by another program, or
// the user may not open it. n = 0 gives false.
bool IsPortAvailable(int n);

class TComSelectForm : public QDialog {
public:
    // probe decides which ports are listed (default IsPortAvailable).
    explicit TComSelectForm(QWidget* parent = nullptr, std::function<bool(int)> probe = {});

    // The text of the selected item ("COM3"), empty when none.
    std::string SelectedCom() const;
    // The number after "COM"; nullopt when nothing usable is selected.
    std::optional<int> SelectedComNum() const;

    QComboBox* PortsComboBox = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* AbortBtn = nullptr;

private:
    void FormCreate();
    std::function<bool(int)> probe_;
};

// Installs the dialog as the default port prompt of every port component.
void InstallPortPromptDialog();

} // namespace sio
