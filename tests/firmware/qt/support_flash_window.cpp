#include "support_flash_window.h"

#include "platform/port_resolver.h"

#include <QCheckBox>
#include <QPushButton>
#include <QCoreApplication>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kyd::firmware::test {

sim::BootConfig FlashWindowStack::Config()
{
    sim::BootConfig c;
    c.flashSize = 0x10000;
    c.nodeFlashSize = 0x4000;
    c.nodeMask = 0x1F; // NFC 1 to NFC 5
    return c;
}

FlashWindowStack::FlashWindowStack(sim::BootConfig config) : sim(config)
{
    platform::setClock(&clock);
    platform::setMessageLoop(&loop);
    platform::setDialogs(&dialogs);
    static std::atomic<int> serial{0};
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(serial++);
    dir = (std::filesystem::temp_directory_path() / ("kyd_flashwin_" + tag)).string();
    std::filesystem::create_directories(dir);
    linkPath = dir + "/tty";
    static const bool trace = std::getenv("KYD_BOOT_TRACE") != nullptr;
    sim.setLogger([this](const std::string& event) {
        if (trace)
            std::fprintf(stderr, "sim: %s\n", event.c_str());
        std::int64_t ms = 0;
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            if (auto it = advances_.find(event); it != advances_.end()) {
                ms = it->second;
                advances_.erase(it);
            }
            if (auto it = hooks_.find(event); it != hooks_.end()) {
                hook = std::move(it->second);
                hooks_.erase(it);
            }
        }
        if (ms > 0)
            loop.postCall([this, ms] { clock.advance(ms); });
        if (hook)
            loop.postCall(std::move(hook));
    });
    transport = std::make_unique<sim::BootPtyTransport>(sim, linkPath);
    platform::setPortResolverUsesSharedIni(false);
    platform::setPortPathOverride(kCom, linkPath);
    port.SetComNumber(kCom);
    options.settings.BaudRate = 9600;
    ini = std::make_unique<platform::IniFile>(dir + "/kydtest.INI");

    FlashWindowSetup setup;
    setup.Port = [this] { return &port; };
    setup.Options = &options;
    setup.Ini = ini.get();
    setup.ExeDir = dir;
    setup.Terminate = [this] { ++terminated; };
    setup.Beep = [this](TBeep b) { beeps.push_back(b); };
    window = std::make_unique<TFormFlashDownLoader>(setup);
    window->SetTimerDriven(false);
}

FlashWindowStack::~FlashWindowStack()
{
    window.reset();
    loop.processPending();
    transport.reset();
    sim.setLogger({});
    platform::clearPortPathOverrides();
    platform::setPortResolverUsesSharedIni(true);
    platform::setDialogs(nullptr);
    platform::setMessageLoop(nullptr);
    platform::setClock(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void FlashWindowStack::Tick()
{
    window->ConnectorTimer();
    QCoreApplication::processEvents();
    loop.processPending();
}

bool FlashWindowStack::ConnectWindow(int n)
{
    if (!window->isVisible())
        window->show();
    for (int i = 0; i < n; ++i) {
        Tick();
        if (window->Connected() && window->State() == csIdle)
            return true;
    }
    return false;
}

std::string FlashWindowStack::WriteHex(const std::string& name, const std::vector<std::string>& lines)
{
    const std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines)
        out << l << "\r\n";
    return path;
}

void FlashWindowStack::ChooseFile(const std::string& path)
{
    dialogs.queueFile(path);
    window->Button4Click();
}

void FlashWindowStack::Check(QCheckBox* box, bool on)
{
    if (box->isChecked() != on)
        box->click();
    QCoreApplication::processEvents();
}

void FlashWindowStack::Start()
{
    window->Button3->click();
    QCoreApplication::processEvents();
}

void FlashWindowStack::AdvanceOn(const std::string& event, std::int64_t ms)
{
    std::lock_guard lock(mutex_);
    advances_[event] = ms;
}

void FlashWindowStack::OnEvent(const std::string& event, std::function<void()> f)
{
    std::lock_guard lock(mutex_);
    hooks_[event] = std::move(f);
}

std::vector<std::uint8_t> FlashWindowStack::Image(int node)
{
    return sim.withCore([&](sim::BootCore& c) { return c.image(node); });
}

std::vector<platform::FakeDialogs::Call> FlashWindowStack::Messages()
{
    std::vector<platform::FakeDialogs::Call> out;
    for (const auto& c : dialogs.calls())
        if (c.kind == "messageDlg")
            out.push_back(c);
    return out;
}

} // namespace kyd::firmware::test
