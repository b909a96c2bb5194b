#include "support_app.h"

#include "app/LinkPortFactory.h"
#include "app/qt/CmdStr.h"
#include "app/qt/PLVRMain.h"
#include "serial/SioExcept.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kyd::app::test {

namespace {
constexpr std::uint32_t kPacketTimeoutMsg = 1;
constexpr std::int64_t kTickMs = 55;
} // namespace

SimPort::SimPort()
{
    target_ = platform::messageLoop().createTarget([this](const platform::Message& m) { return OnMessage(m); });
}

SimPort::~SimPort()
{
    platform::messageLoop().destroyTarget(target_);
}

void SimPort::Open(const link::PortSettings& settings)
{
    Close();
    link::PortSettings s = settings;
    if (s.ComNumber == 0) {
        if (promptAnswer == 0)
            throw sio::ENoPortSelected(sio::ecodes::ecNoPortSelected);
        s.ComNumber = promptAnswer;
    }
    settings_ = s;
    if (!existingPorts.count(s.ComNumber))
        throw sio::EBadId(sio::ecodes::ecBadId);
    open_ = true;
    opens.push_back(s);
}

void SimPort::Close()
{
    open_ = false;
    packetEnabled_ = false;
    ++packetGen_;
    ++inputGen_;
    assembler_.clear();
}

void SimPort::FlushInBuffer()
{
    if (!open_)
        throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
    ++inputGen_;
}

void SimPort::FlushOutBuffer()
{
    if (!open_)
        throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

void SimPort::PutString(const std::string& bytes)
{
    if (!open_)
        throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
    written.push_back(bytes);
    if (onWrite)
        onWrite(bytes);
    if (holdReplies)
        return;
    for (const std::string& f : assembler_.feed(bytes.data(), bytes.size())) {
        sim::FrameResult r = core.handleFrame(f);
        if (!r.answered)
            continue;
        const std::uint64_t gen = inputGen_;
        std::string reply = sim::frame(r.reply);
        platform::messageLoop().postCall([this, gen, reply] {
            if (gen != inputGen_ || !open_ || !packetEnabled_)
                return;
            packetEnabled_ = false;
            ++packetGen_;
            const std::size_t cr = reply.find('\r');
            if (events_)
                events_->OnStringPacket(reply.substr(0, cr));
        });
    }
}

void SimPort::EnablePacket(int timeoutTicks)
{
    packetEnabled_ = true;
    ++packetGen_;
    platform::messageLoop().postDelayed(target_, {kPacketTimeoutMsg, static_cast<std::uintptr_t>(packetGen_), 0},
                                        static_cast<std::int64_t>(timeoutTicks) * kTickMs);
}

void SimPort::DisablePacket()
{
    packetEnabled_ = false;
    ++packetGen_;
}

std::intptr_t SimPort::OnMessage(const platform::Message& m)
{
    if (m.msg == kPacketTimeoutMsg && packetEnabled_ && m.wParam == packetGen_) {
        packetEnabled_ = false;
        ++packetGen_;
        if (events_)
            events_->OnPacketTimeout();
    }
    return 0;
}

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
        ports.push_back(p.get());
        return p;
    });
}

AppFixture::~AppFixture()
{
    app.reset();
    ini.reset();
    loop.processPending();
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
    TesterSetup s;
    s.Ini = ini.get();
    s.ExeDir = dir;
    s.DemoDir = dir;
    s.PortList = [this] { return portList; };
    app = std::make_unique<TesterApp>(s);
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
    // Keys go to the combo box, which has the focus and hands them to its
    // line edit, as typing does.
    QComboBox* combo = app->CmdStrForm().CmdCombo;
    combo->lineEdit()->clear();
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

} // namespace kyd::app::test
