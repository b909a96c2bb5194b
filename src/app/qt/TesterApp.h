// The tester's windows as one program: creates them in their order, wires
// them together and runs the one shutdown sequence that every way of
// quitting goes through.
#pragma once

#include "app/qt/OptionDlg.h"
#include "link/AppContext.h"

#include <functional>
#include <memory>
#include <string>

class QObject;

namespace kyd::platform {
class IniFile;
class QtEndSignalWatch;
}

namespace kyd::firmware {
class TFormFlashDownLoader;
}

namespace kyd::app {

class TCmdStrForm;
class TComStringDlg;
class TPLVRMainF;
class TStatusListFrame;

struct TesterSetup {
    platform::IniFile* Ini = nullptr; // default: the program's shared ini object
    std::string ExeDir;               // default: the executable's folder
    std::string DemoDir = ".";        // the demo scripts' folder
    std::string AboutPicture;         // default: KYDTest.jpg in ExeDir
    std::string VersionFile;          // default: the running executable
    PortListProvider PortList;        // default: the machine's serial ports
};

class TesterApp {
public:
    // Creates, in this order, the main window (which opens the ini keys it
    // needs and creates the link), the options dialog (which opens the
    // port), the command-string window, the communication-strings window and
    // the status window. The firmware downloader window is made when it is
    // first opened or asked for.
    explicit TesterApp(TesterSetup setup = {});
    // Saves (when not yet done) and frees everything, the link first.
    ~TesterApp();
    TesterApp(const TesterApp&) = delete;
    TesterApp& operator=(const TesterApp&) = delete;

    // Shows the main window (its caption becomes the options' caption text).
    void Show();

    // The shutdown saving, once: the options' settings, the tool windows'
    // and the main window's positions, then the ini file to disk (a failure
    // is shown). Runs when the main window agrees to close and, for any
    // other way of ending, at the latest when this object goes.
    void SaveAll();
    bool Saved() const { return saved_; }
    // The same saving at any time, without ending anything (the desktop
    // session asks before it logs out, and may still be cancelled).
    void SaveSettings();
    // From now on SIGTERM, SIGHUP and the desktop session's quit (at logout)
    // end the program through End(), which calls quit last. The desktop
    // session's request to save before a logout saves the settings too.
    void EndOnSignals(std::function<void()> quit);
    // Ends the program whatever runs or is shown: the message loop's quit is
    // requested first (waits return, no box is waited for any more), the
    // settings are saved at once (and once more by the next SaveAll, on the
    // way out), a running script is aborted and the exchange under way
    // cancelled, then quit is called. Once only.
    void End();
    bool Ending() const { return ending_; }

    TPLVRMainF& MainWindow() { return *main_; }
    TOptionForm& Options() { return *options_; }
    TCmdStrForm& CmdStrForm() { return *cmdStr_; }
    TComStringDlg& ComStringDlg() { return *comStr_; }
    TStatusListFrame& StatusListFrame() { return *statusList_; }
    // The firmware downloader window, made on the first call.
    firmware::TFormFlashDownLoader& FlashDownLoader();
    link::AppContext& Context() { return ctx_; }
    platform::IniFile& Ini() { return *ini_; }

private:
    platform::IniFile* ini_;
    link::AppContext ctx_;
    std::unique_ptr<TPLVRMainF> main_;
    std::unique_ptr<TOptionForm> options_;
    std::unique_ptr<TCmdStrForm> cmdStr_;
    std::unique_ptr<TComStringDlg> comStr_;
    std::unique_ptr<TStatusListFrame> statusList_;
    std::unique_ptr<firmware::TFormFlashDownLoader> flash_;
    std::unique_ptr<platform::QtEndSignalWatch> endSignals_;
    std::unique_ptr<QObject> sessionQuit_;
    std::function<void()> quit_;
    std::string exeDir_; // the firmware window's default folder for its files
    bool saved_ = false;
    bool saveAgain_ = false; // ending: once more on the way out
    bool ending_ = false;
};

} // namespace kyd::app
