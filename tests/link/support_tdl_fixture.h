// A script engine on the command layer of the in-process simulated
// dispenser. Fake time runs on its own while a script pumps messages: a
// ticker, re-posted to the message loop, moves the fake clock on by a fixed
// step every time the loop runs it, so delays and throat checks of many
// seconds take no real time and every run is the same.
#pragma once

#include "link/TDLScript.h"
#include "support_fixture.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kyd::link::test {

class TdlFixture : public LinkFixture {
protected:
    static constexpr std::int64_t kTickMs = 50;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("kyd_tdl_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        options.settings.LogFile = (dir / "KYD.LOG").string();
        OpenPort();
        // Four fitted feeders, all open, 500 notes each.
        port->WithCore([](sim::SimCore& c) {
            for (int pos = 1; pos <= 4; ++pos)
                c.cassette(pos).state = sim::CassetteState::Open;
            return 0;
        });
        script = std::make_unique<TTDLScript>(cmd.get(), &model, &ctx);
        ticking = true;
        loop.postCall([this] { Tick(); });
    }

    void TearDown() override
    {
        ticking = false;
        loop.processPending();
        script.reset();
        std::filesystem::remove_all(dir);
    }

    void Tick()
    {
        if (!ticking)
            return;
        clock.advance(kTickMs);
        if (onTick)
            onTick();
        loop.postCall([this] { Tick(); });
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    // Loads the text as a script file and runs it n times.
    int RunText(const std::string& text, int n = 1)
    {
        scriptPath = Write("test.tdl", text);
        EXPECT_TRUE(script->Load(scriptPath));
        return script->Run(n);
    }

    // Commands the dispenser received, without checksum.
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> out;
        for (const std::string& f : port->simulator.frameLog())
            out.push_back(f.size() >= 2 ? f.substr(0, f.size() - 2) : f);
        return out;
    }
    int CountCommands(const std::string& c) const
    {
        int n = 0;
        for (const std::string& s : Commands())
            n += s == c;
        return n;
    }
    void ClearCommands() { port->simulator.clearFrameLog(); }

    // The n-th (from 1) command matching pattern is answered with the bare
    // status (always: also every later match).
    void Answer(const std::string& pattern, int nth, char status, bool always = false)
    {
        port->simulator.updateFaults([&](sim::SimFaults& f) {
            sim::ScriptedStatus s;
            s.pattern = pattern;
            s.nth = nth;
            s.status = status;
            s.always = always;
            f.scripted.push_back(s);
        });
    }

    // Texts of the message dialogs of one kind ("messageDlg", "showMessage").
    std::vector<std::string> Dialogs(const std::string& kind = "messageDlg") const
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            if (c.kind == kind)
                out.push_back(c.text);
        return out;
    }

    static std::string ReadFile(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path dir;
    std::string scriptPath;
    std::unique_ptr<TTDLScript> script;
    bool ticking = false;
    std::function<void()> onTick;
};

} // namespace kyd::link::test
