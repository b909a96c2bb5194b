// The tester program: the Qt application with the tester's windows.
//
//   kydtest [--ini <file>]
//
// --ini names the settings file (default: KYD_INI, else the executable's
// path with the extension ".INI", or a file of that name in kydtest/ of the
// user's configuration folder when the executable's folder cannot be
// written).
#include "app/LinkPortFactory.h"
#include "app/qt/TesterApp.h"
#include "link/SioLinkPort.h"
#include "platform/dialogs.h"
#include "platform/end_signals.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/message_loop.h"
#include "platform/beep.h"
#include "platform/qt/qt_beep.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_printing.h"
#include "platform/qt/qt_document_opener.h"
#include "platform/qt/qt_message_loop.h"
#include "platform/safe_file.h"
#include "serial/SioPort.h"
#include "serial/qt/SioSelCom.h"
#include "widgets/services/application.h"
#include "widgets/services/sysinfo.h"
#include "widgets/services/qt/cursors.h"
#include "widgets/services/qt/sysinfo_probes.h"

#include <QApplication>
#include <QCommandLineParser>

#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace kyd;

constexpr std::chrono::seconds kEndLimit{5};

void ShowException(std::exception_ptr e)
{
    // Exception texts are the program's own and the file system's names
    // (a script that cannot be opened), never dispenser data.
    platform::dialogs().messageDlg(platform::describeException(e), platform::DlgType::Error,
                                   platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes writes fail with an error, never kills us.
    platform::ignoreFileSizeSignal();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("kydtest");
    // The application title is ours, not Qt's display name: Qt would append
    // a display name to every window title on X11.
    platform::setApplicationTitle("ZORORaze");

    QCommandLineParser parser;
    parser.setApplicationDescription("Test and service tool for the KYD banknote dispenser");
    parser.addHelpOption();
    QCommandLineOption iniOption("ini", "Settings file to use.", "file");
    parser.addOption(iniOption);
    parser.process(qapp);

    platform::QtMessageLoop loop;
    platform::setMessageLoop(&loop);
    platform::QtDialogs dialogs;
    platform::setDialogs(&dialogs);
    platform::installQtBeep();
    platform::QtDocumentOpener opener;
    platform::setDocumentOpener(&opener);
    platform::QtPrinting printing;
    platform::setPrinting(&printing);
    // Whatever reaches an event handler's guard or a worker's is shown to
    // the operator, on the main thread.
    platform::setExceptionSink([](std::exception_ptr e, std::string_view) {
        if (platform::messageLoop().isMainThread())
            ShowException(e);
        else
            platform::messageLoop().postCall([e] { ShowException(e); });
    });
    // The dispenser link talks through the serial library's port component;
    // a port that does not exist makes it ask the operator for one.
    sio::InstallPortPromptDialog();
    app::SetLinkPortFactory([] { return std::make_unique<link::SioLinkPort>(); });

    widgets::DUDSIInstallQtProbes();
    widgets::DUDInstallQtCursors();
    int rc = 0;
    try {
        // The component library's application object lives as long as the
        // program (ini control, timer pool, single-instance lock).
        widgets::TDUDApplication dudApplication;
        if (parser.isSet(iniOption))
            platform::setSharedIniPath(parser.value(iniOption).toLocal8Bit().toStdString());
        app::TesterApp tester;
        QObject::connect(&qapp, &QCoreApplication::aboutToQuit, [&tester] { tester.SaveAll(); });
        // Asked to end from outside: the loops end (also those of modal
        // boxes) without asking the windows; should anything still hold the
        // program, it is gone within seconds, its settings saved by then.
        tester.EndOnSignals([] {
            platform::endProcessWithin(kEndLimit);
            QCoreApplication::exit(0);
        });
        tester.Show();
        rc = QApplication::exec();
    } catch (...) {
        ShowException(std::current_exception());
        rc = 0;
    }

    widgets::DUDSISetScreenProbes({});
    widgets::DUDSetCursorInstaller({});
    app::SetLinkPortFactory({});
    sio::SetDefaultPortPrompt({});
    platform::setExceptionSink({});
    platform::setPrinting(nullptr);
    platform::setDocumentOpener(nullptr);
    platform::setDialogs(nullptr);
    platform::setBeeper({});
    platform::setMessageLoop(nullptr);
    return rc;
}
