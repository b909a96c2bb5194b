// The tester's windows on a real X display with a window manager (see
// tests/support/with_desktop.sh), talking to the simulated dispenser on a
// pseudo-terminal: the fixture of the desktop tests and what they read of
// the desktop (window properties, stacking) and type on it (xdotool).
#pragma once

#include "support_app.h"

#include "app/LinkPortFactory.h"
#include "app/qt/TesterApp.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/StatusList.h"
#include "link/SioLinkPort.h"
#include "platform/port_resolver.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"
#include "support/end_signal_defaults.h"

#include <QProcess>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kyd::app::test {

inline constexpr int kSettleMs = 5000;

// A property of an X window as xprop prints it, without the quotes.
inline std::string XProp(WId window, const char* property)
{
    QProcess p;
    p.start("xprop", {"-id", QString::number(window), property});
    p.waitForFinished(5000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const qsizetype eq = out.indexOf(" = ");
    if (eq < 0)
        return out.toStdString();
    QString value = out.mid(eq + 3);
    if (value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value.toStdString();
}

// The client windows as the window manager stacks them, bottom first.
inline std::vector<WId> Stacking()
{
    QProcess p;
    p.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    p.waitForFinished(5000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<WId> ids;
    const qsizetype hash = out.indexOf('#');
    if (hash < 0)
        return ids;
    for (const QString& part : out.mid(hash + 1).split(',', Qt::SkipEmptyParts))
        ids.push_back(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}

inline bool Above(QWidget& upper, QWidget& lower)
{
    const std::vector<WId> s = Stacking();
    const auto u = std::find(s.begin(), s.end(), upper.winId());
    const auto l = std::find(s.begin(), s.end(), lower.winId());
    return u != s.end() && l != s.end() && u > l;
}

class DesktopTest : public AppFixture {
protected:
    DesktopTest()
    {
        transport = std::make_unique<sim::PtyTransport>(simulator);
        platform::setPortResolverUsesSharedIni(false);
        platform::setPortPathOverride(1, transport->slavePath());
        SetLinkPortFactory([] { return std::make_unique<link::SioLinkPort>(); });
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "ComPort", 1);
        for (const char* s : {"CmdWindow", "ComWindow", "StatusWindow"})
            pre.writeBool(s, "Visible", true);
        EXPECT_TRUE(pre.updateFile());
    }
    ~DesktopTest() override
    {
        app.reset();
        ini.reset();
        loop.processPending();
        transport.reset();
        platform::clearPortPathOverrides();
        platform::setPortResolverUsesSharedIni(true);
    }

    std::vector<QWidget*> Windows()
    {
        return {&Main(), &App().CmdStrForm(), &App().ComStringDlg(), &App().StatusListFrame()};
    }
    // Starts with every window shown and framed by the window manager.
    void StartFramed()
    {
        Start();
        for (QWidget* w : Windows()) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(w, kSettleMs)) << w->objectName().toStdString();
            ASSERT_TRUE(QTest::qWaitFor([w] { return w->frameGeometry() != w->geometry(); }, kSettleMs))
                << w->objectName().toStdString();
        }
    }
    // What the windows wrote about their places.
    std::map<std::string, int> SavedPlaces()
    {
        platform::IniFile saved(iniPath);
        std::map<std::string, int> out;
        for (const char* s : {"CmdWindow", "ComWindow", "StatusWindow", "Misc"})
            for (const char* k : {"Top", "Left", "Height", "Width"})
                if (saved.valueExists(s, k))
                    out[std::string(s) + "." + k] = saved.readInteger(s, k, 0);
        return out;
    }

    // The program itself in the test's folder, on the simulator as COM1.
    void StartProgram(QProcess& tool) { StartProgram(tool, iniPath); }
    void StartProgram(QProcess& tool, const std::string& ini)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KYD_COM1", QString::fromStdString(transport->slavePath()));
        tool.setProcessEnvironment(env);
        tool.setWorkingDirectory(QString::fromStdString(dir));
        // The signals the tests send end it, whatever this runner ignores.
        tool.setChildProcessModifier(&kyd::test::DefaultEndSignals::InChild);
        tool.start(KYD_TESTER_EXE, {"--ini", QString::fromStdString(ini)});
    }

    // The program's window of that title, once the desktop shows it (0 when
    // it does not).
    static WId ProgramWindow(const QProcess& tool, const std::string& title)
    {
        WId found = 0;
        (void)QTest::qWaitFor(
            [&] {
                for (WId w : Stacking())
                    if (XProp(w, "_NET_WM_PID") == std::to_string(tool.processId()) &&
                        XProp(w, "_NET_WM_NAME") == title)
                        found = w;
                return found != 0;
            },
            4 * kSettleMs);
        return found;
    }

    sim::Simulator simulator;
    std::unique_ptr<sim::PtyTransport> transport;
};

// Keys typed on the keyboard (xdotool), to the window that has the focus.
inline bool Keys(const QStringList& args)
{
    QProcess p;
    p.start("xdotool", args);
    return p.waitForFinished(kSettleMs) && p.exitCode() == 0;
}

} // namespace kyd::app::test
