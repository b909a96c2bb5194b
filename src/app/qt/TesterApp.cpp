#include "app/qt/TesterApp.h"

#include "app/ProjectRCVersion.h"

#include "app/qt/AboutBox.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "firmware/qt/UnitNFC_Selector.h"
#include "link/PLVRCom.h"
#include "link/SioLinkPort.h"
#include "platform/dialogs.h"
#include "platform/ini_file.h"
#include "platform/message_loop.h"
#include "platform/program_path.h"
#include "platform/qt/qt_end_signals.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>

namespace kyd::app {

namespace {

// The application's quit event, taken by the program's own end.
class QuitEventFilter : public QObject {
public:
    explicit QuitEventFilter(std::function<void()> end) : end_(std::move(end)) {}
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == QCoreApplication::instance() && e->type() == QEvent::Quit) {
            end_();
            return true;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void()> end_;
};

// The firmware window hidden: the dispenser port is the link's again.
class PortGivenBack : public QObject {
public:
    PortGivenBack(TPLVRMainF* main, QObject* parent) : QObject(parent), main_(main) {}
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Hide)
            main_->SetFirmwareHoldsPort(false);
        return QObject::eventFilter(watched, e);
    }

private:
    TPLVRMainF* main_;
};

} // namespace

TesterApp::TesterApp(TesterSetup setup) : ini_(setup.Ini ? setup.Ini : &platform::sharedIni())
{
    // A settings file that exists but cannot be read is left as it is.
    if (const std::string why = ini_->loadError(); !why.empty())
        platform::dialogs().messageDlg("The settings file cannot be used: " + why +
                                           "\nThe tool runs with default settings and does not save them.",
                                       platform::DlgType::Warning, platform::DlgButtons::Ok,
                                       platform::TextCoding::FileSystem);
    // Where the settings live now, said at the start that chose the place.
    if (const std::string notice = ini_->startNotice(); !notice.empty())
        platform::dialogs().messageDlg(notice, platform::DlgType::Information, platform::DlgButtons::Ok,
                                       platform::TextCoding::FileSystem);

    // The program's version block answers for the program's file (About box,
    // the component library's version information).
    InstallProgramVersionBlock();

    MainWindowSetup ms;
    ms.ExeDir = setup.ExeDir.empty() ? platform::executableDir() : setup.ExeDir;
    ms.DemoDir = setup.DemoDir;
    ms.AboutPicture = setup.AboutPicture.empty() ? ms.ExeDir + "/KYDTest.jpg" : setup.AboutPicture;
    ms.VersionFile = setup.VersionFile.empty() ? platform::executablePath() : setup.VersionFile;

    main_ = std::make_unique<TPLVRMainF>(*ini_, ctx_, ms);
    options_ = std::make_unique<TOptionForm>(*ini_, ctx_, setup.PortList, main_.get());
    ctx_.Options = options_.get();
    cmdStr_ = std::make_unique<TCmdStrForm>(*ini_, main_.get());
    comStr_ = std::make_unique<TComStringDlg>(*ini_, main_.get());
    ctx_.ComStrings = comStr_.get();
    statusList_ = std::make_unique<TStatusListFrame>(*ini_, main_.get());
    exeDir_ = ms.ExeDir;
    main_->ShowFirmwareWindow = [this] {
        main_->SetFirmwareHoldsPort(true);
        FlashDownLoader().ShowModal();
    };

    main_->AttachWindows(options_.get(), cmdStr_.get(), comStr_.get(), statusList_.get());
    main_->OnClosing = [this] { SaveAll(); };
}

TesterApp::~TesterApp()
{
    endSignals_.reset();
    sessionQuit_.reset();
    SaveAll();
    main_->OnClosing = nullptr;
    main_->ShowFirmwareWindow = nullptr;
    flash_.reset();
    main_->ReleaseLink();
    ctx_.ComStrings = nullptr;
    ctx_.Options = nullptr;
    ctx_.MainWindow = nullptr;
    main_->AttachWindows(nullptr, nullptr, nullptr, nullptr);
    statusList_.reset();
    comStr_.reset();
    cmdStr_.reset();
    options_.reset();
    main_.reset();
}

firmware::TFormFlashDownLoader& TesterApp::FlashDownLoader()
{
    if (flash_)
        return *flash_;
    firmware::FlashWindowSetup fs;
    // The loader borrows the serial library's port component of the link.
    fs.Port = [this]() -> sio::TSioComPort* {
        auto* port = ctx_.Com ? dynamic_cast<link::SioLinkPort*>(&ctx_.Com->Port()) : nullptr;
        return port ? &port->Port() : nullptr;
    };
    fs.Options = options_.get();
    fs.Ini = ini_;
    fs.ExeDir = exeDir_;
    // The program ends as the application object's Terminate ends it: the
    // message loop quits (the shutdown saving runs on the way out), also
    // while the modal firmware window is still shown.
    fs.Terminate = [this] { QTimer::singleShot(0, main_.get(), [] { QCoreApplication::quit(); }); };
    flash_ = std::make_unique<firmware::TFormFlashDownLoader>(fs, main_.get());
    flash_->installEventFilter(new PortGivenBack(main_.get(), flash_.get()));
    return *flash_;
}

void TesterApp::Show()
{
    main_->show();
}

void TesterApp::SaveAll()
{
    if (saved_ && !saveAgain_)
        return;
    saved_ = true;
    saveAgain_ = false;
    SaveSettings();
}

void TesterApp::EndOnSignals(std::function<void()> quit)
{
    quit_ = std::move(quit);
    endSignals_ = std::make_unique<platform::QtEndSignalWatch>([this](int) { End(); });
    if (QCoreApplication* qapp = QCoreApplication::instance()) {
        // The session's quit at logout comes as the application's quit
        // event, which would only ask the windows to close: a running
        // script would then keep the program, and its box, up.
        sessionQuit_ = std::make_unique<QuitEventFilter>([this] { End(); });
        qapp->installEventFilter(sessionQuit_.get());
    }
#ifndef QT_NO_SESSIONMANAGER
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QObject::connect(gui, &QGuiApplication::commitDataRequest, main_.get(), [this] { SaveSettings(); });
#endif
}

void TesterApp::End()
{
    if (ending_)
        return;
    ending_ = true;
    if (platform::hasMessageLoop())
        platform::messageLoop().requestQuit();
    // Saved before anything else can go wrong; saved once more on the way
    // out, with what the script left in force when it ended.
    SaveAll();
    saveAgain_ = true;
    main_->AbortAll();
    if (quit_)
        quit_();
}

void TesterApp::SaveSettings()
{
    options_->SaveSettings();
    cmdStr_->SaveGeometry();
    comStr_->SaveGeometry();
    statusList_->SaveGeometry();
    main_->SaveGeometry();
    if (!ini_->loadError().empty())
        return; // said at start: not saved
    std::string error;
    if (!ini_->updateFile(&error))
        platform::dialogs().messageDlg("The settings could not be saved: " + error, platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
}

} // namespace kyd::app
