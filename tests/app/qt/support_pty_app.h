// The tester's windows on the serial library's port component, talking to
// the simulated dispenser on a pseudo-terminal as COM1 (handshake on).
#pragma once

#include "support_app.h"

#include "app/LinkPortFactory.h"
#include "link/SioLinkPort.h"
#include "platform/port_resolver.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace kyd::app::test {

class PtyAppFixture : public AppFixture {
protected:
    PtyAppFixture()
    {
        transport = std::make_unique<sim::PtyTransport>(simulator);
        platform::setPortResolverUsesSharedIni(false);
        platform::setPortPathOverride(1, transport->slavePath());
        SetLinkPortFactory([] { return std::make_unique<link::SioLinkPort>(); });
    }
    ~PtyAppFixture() override
    {
        app.reset();
        ini.reset();
        loop.processPending();
        simulator.setCommandHook({});
        transport.reset();
        platform::clearPortPathOverrides();
        platform::setPortResolverUsesSharedIni(true);
    }

    void StartOnPty()
    {
        {
            platform::IniFile pre(iniPath);
            pre.writeInteger("Communication", "ComPort", 1);
            pre.writeBool("Communication", "Handshake", true);
            ASSERT_TRUE(pre.updateFile());
        }
        Start();
    }

    // Replaces an edit's text as typing does: into the focused edit, all
    // of it selected and deleted, typed from its start.
    static void Type(QLineEdit* e, const char* text)
    {
        e->setFocus();
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClick(e, Qt::Key_Home);
        QTest::keyClicks(e, text);
    }
    // The same for an editable combo box. Its list completes what is typed
    // (typing "EU" shows "EUR", the "R" selected); Delete drops that, so
    // the box holds what was typed.
    static void Type(QComboBox* c, const char* text)
    {
        c->setFocus();
        QTest::keyClick(c, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(c, Qt::Key_Delete);
        QTest::keyClicks(c, text);
        if (c->lineEdit()->hasSelectedText())
            QTest::keyClick(c, Qt::Key_Delete);
    }

    // The commands the dispenser received since the last call, without
    // their checksums.
    std::vector<std::string> TakeCommands()
    {
        std::vector<std::string> all = simulator.frameLog();
        std::vector<std::string> out;
        for (std::size_t i = seen_; i < all.size(); ++i)
            out.push_back(all[i].size() >= 2 ? all[i].substr(0, all[i].size() - 2) : all[i]);
        seen_ = all.size();
        return out;
    }

    sim::Simulator simulator;
    std::unique_ptr<sim::PtyTransport> transport;

private:
    std::size_t seen_ = 0;
};

} // namespace kyd::app::test
