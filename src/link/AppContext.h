// What the link layer, the script engine, the dialogs and the firmware
// downloader may use of the tester's windows: the settings in force and a few
// window callbacks. The windows implement these interfaces; one AppContext
// holds them (instead of global window objects), and tests fill it with the
// recording fakes below.
//
// Everything here is used on the main thread only, mostly from inside the
// command layer's reply wait; no operation blocks or waits.
#pragma once

#include "platform/dialogs.h"

#include <string>
#include <vector>

namespace kyd::link {

class TCom;

// Parity of the dispenser link, numbered as the serial library numbers it.
enum class TParity : int { pNone = 0, pOdd = 1, pEven = 2, pMark = 3, pSpace = 4 };

// The settings in force (kept by the options dialog).
struct Settings {
    int Port = 0;                   // port number in use, 0 when none
    bool Handshake = true;          // RTS/CTS handshake before each command
    int BaudRate = 9600;
    TParity Parity = TParity::pEven;
    // Quiet time the link waits for after a failed exchange before the next
    // command, in ms; 0 follows the line's rate (at least 100 ms).
    int ResyncMs = 0;
    bool LoggingEnabled = false;    // every exchange goes to the log
    bool TimeStamp = true;          // log lines carry the time
    bool DateStamp = true;          // log lines carry the date
    std::string LogFile;            // full path of the communication log
    std::string CaptionText;        // "KYDTest COM" + port
    std::string ScriptFolder;       // with a trailing separator; empty until set
};

// The main window's callbacks.
class MainWindowCallbacks {
public:
    virtual ~MainWindowCallbacks() = default;
    // 0 idle, 1 busy, 2 start of a batch (1 and 0 then ignored), 3 end of it.
    virtual void SetBusy(int state) = 0;
    // Shows the status text in the status panel and the status window, its
    // bytes read as coding says (the dispenser's texts are Latin-1; a line
    // of a script is read as the script's file is).
    virtual void ShowStatusText(const std::string& reply, const std::string& text,
                                platform::TextCoding coding = platform::TextCoding::Latin1) = 0;
    // Shows an information text in the information panel and the status
    // window, its bytes read as coding says (a text that names a file is
    // in the file system's encoding).
    virtual void ShowInfoText(const std::string& text,
                              platform::TextCoding coding = platform::TextCoding::Latin1) = 0;
};

// The communication-strings window.
class ComStringsWindow {
public:
    virtual ~ComStringsWindow() = default;
    virtual void AddLine(const std::string& text) = 0;
};

// The options dialog as the rest of the program sees it.
class OptionsService {
public:
    virtual ~OptionsService() = default;
    virtual Settings& InForce() = 0;
    // Writes the settings into the ini object.
    virtual void SaveSettings() = 0;
    // Writes the settings, reads them back and reopens the dispenser port.
    virtual void SaveAndApply() = 0;
};

// The one application context; members are not owned.
struct AppContext {
    MainWindowCallbacks* MainWindow = nullptr;
    ComStringsWindow* ComStrings = nullptr;
    OptionsService* Options = nullptr;
    TCom* Com = nullptr;
};

// ---- recording fakes for tests --------------------------------------------

class FakeMainWindow final : public MainWindowCallbacks {
public:
    void SetBusy(int state) override;
    void ShowStatusText(const std::string& reply, const std::string& text,
                        platform::TextCoding coding = platform::TextCoding::Latin1) override;
    void ShowInfoText(const std::string& text,
                      platform::TextCoding coding = platform::TextCoding::Latin1) override;

    // Whether the window would be busy now, following the batch rules.
    bool Busy() const { return busy_; }

    std::vector<int> BusyCalls;
    std::vector<std::pair<std::string, std::string>> StatusTexts; // (reply, text)
    std::vector<platform::TextCoding> StatusCodings;              // one for each of StatusTexts
    std::vector<std::string> InfoTexts;
    std::vector<platform::TextCoding> InfoCodings; // one for each of InfoTexts

private:
    bool busy_ = false;
    bool batch_ = false;
};

class FakeComStrings final : public ComStringsWindow {
public:
    void AddLine(const std::string& text) override { Lines.push_back(text); }
    std::vector<std::string> Lines;
};

class FakeOptions final : public OptionsService {
public:
    Settings& InForce() override { return settings; }
    void SaveSettings() override { ++SaveCount; }
    void SaveAndApply() override { ++SaveAndApplyCount; }

    Settings settings;
    int SaveCount = 0;
    int SaveAndApplyCount = 0;
};

} // namespace kyd::link
