#include "support_app.h"

#include "app/LinkPortFactory.h"
#include "app/qt/CmdStr.h"
#include "app/qt/PLVRMain.h"
#include "link/PLVRCom.h"
#include "serial/SioExcept.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kyd::app::test {

AppFixture::AppFixture()
{
    static std::atomic<int> serial{0};
    dir = (std::filesystem::temp_directory_path() /
           ("kyd_app_" + std::to_string(::getpid()) + "_" + std::to_string(serial++)))
              .string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    iniPath = Path("kydtest.INI");

    platform::setClock(&clock);
    platform::setMessageLoop(&loop);
    platform::setDialogs(&dialogs);
    platform::setDocumentOpener(&opener);
    SetLinkPortFactory([this] {
        auto p = std::make_unique<SimPort>();
        p->promptAnswer = 1; // the operator picks COM1 when asked
        ports.push_back(p.get());
        return p;
    });
}

AppFixture::~AppFixture()
{
    *ticking_ = false;
    app.reset();
    ini.reset();
    loop.processPending();
    // A test that ended the program (its quit ends Qt's loops) leaves this
    // process's loops able to run again for the next test: a run of the
    // application's loop clears the quit when it returns.
    if (loop.quitRequested()) {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    SetLinkPortFactory({});
    platform::setDocumentOpener(nullptr);
    platform::setDialogs(nullptr);
    platform::setMessageLoop(nullptr);
    platform::setClock(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void AppFixture::Start(bool show)
{
    ini = std::make_unique<platform::IniFile>(iniPath);
    ini->setStartNotice(iniNotice);
    TesterSetup s;
    s.Ini = ini.get();
    s.ExeDir = dir;
    s.DemoDir = dir;
    s.PortList = [this] { return portList; };
    app = std::make_unique<TesterApp>(s);
    // The link's quiet-line wait after a failed exchange passes on the fake
    // clock at once.
    if (link::TCom* com = Main().Com())
        com->QuietWaitHandler = [this](int ms) { loop.postCall([this, ms] { clock.advance(ms + 110); }); };
    if (show)
        app->Show();
    ProcessEvents();
}

void AppFixture::Quit()
{
    if (!app)
        return;
    app->MainWindow().close();
    ProcessEvents();
    app.reset();
    ini.reset();
    ProcessEvents();
}

void AppFixture::Restart()
{
    Quit();
    Start();
}

TPLVRMainF& AppFixture::Main()
{
    return app->MainWindow();
}

void AppFixture::WriteFile(const std::string& name, const std::string& text) const
{
    std::ofstream(Path(name), std::ios::binary) << text;
}

std::string AppFixture::ReadFile(const std::string& path) const
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void AppFixture::TypeCommand(const std::string& text)
{
    // Typed as the operator types: the command window's box is focused and
    // gets the keys, then Enter. Nothing empties the box first; after an
    // Enter that sent a command the window leaves that command selected, so
    // the keys typed replace it. (The combo box hands them to its line edit.)
    TCmdStrForm& form = app->CmdStrForm();
    QComboBox* combo = form.CmdCombo;
    EXPECT_TRUE(form.isVisible()) << "typing into a command window that is not shown";
    if (!combo->lineEdit()->hasFocus()) {
        form.activateWindow();
        combo->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([combo] { return combo->lineEdit()->hasFocus(); }, 5000))
            << "the command box does not get the focus";
    }
    QTest::keyClicks(combo, QString::fromLatin1(text.c_str()));
    QTest::keyClick(combo, Qt::Key_Return);
}

void AppFixture::ProcessEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        loop.processPending();
    }
}

void AppFixture::StartTicker()
{
    *ticking_ = true;
    PostTick();
}

void AppFixture::PostTick()
{
    std::shared_ptr<bool> alive = ticking_;
    loop.postCall([this, alive] {
        if (!*alive)
            return;
        clock.advance(50);
        if (onTick)
            onTick();
        PostTick();
    });
}

} // namespace kyd::app::test
