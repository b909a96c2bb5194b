// A picture of a state machine: a small dialogue with a loop, an active
// state, a state with glyph cells and a selected transition with its hint.
#include "platform/plain_message_loop.h"
#include "platform/qt/ui_scale.h"
#include "serial/qt/SioStMachView.h"
#include "support/screenshot.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

// Three cells: idle (grey), active (green), finished (blue).
QPixmap Lamp()
{
    QPixmap pm(48, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(150, 150, 150), QColor(40, 170, 60), QColor(40, 90, 200)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colours[i]);
        p.setPen(Qt::black);
        p.drawEllipse(QRectF(i * 16 + 2, 2, 12, 12));
    }
    return pm;
}

TEST(StateMachineShots, Dialogue)
{
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    {
        TSioBaseComponent form;
        TSioStateMachine machine(nullptr, &form);
        const pf::UiScale sc = pf::UiScale::For(&machine);
        machine.resize(sc.X(470), sc.Y(250));
        machine.Caption = "Dispenser dialogue";
        machine.ConnectoidClickStyle = ccsHighlight | ccsHint;
        auto add = [&](const char* name, int x, int y) {
            auto* s = new TSioState(&machine, &form);
            s->SetName(name);
            s->SetCaption(name);
            s->SetBounds(sc.X(x), sc.Y(y), sc.X(75), sc.Y(50));
            return s;
        };
        TSioState* idle = add("Idle", 20, 95);
        TSioState* hello = add("Hello", 160, 30);
        TSioState* data = add("Data", 300, 30);
        TSioState* error = add("Error", 160, 170);
        TSioState* done = add("Done", 300, 170);
        auto link = [](TSioState* from, TSioState* to, const char* caption) -> TSioStateCondition& {
            TSioStateCondition& c = from->Conditions().Add();
            c.SetNextState(to);
            c.SetCaption(caption);
            return c;
        };
        link(idle, hello, "start");
        link(hello, data, "ready");
        link(hello, error, "time-out").SetColor(clRed);
        link(data, data, "more");
        link(data, done, "end");
        link(error, idle, "retry").SetColor(0x00008000);
        machine.StartState = idle;
        machine.TerminalState = done;
        for (TSioState* s : {hello, data})
            s->SetGlyphCells(3);
        hello->SetGlyph(Lamp());
        data->SetGlyph(Lamp());
        idle->Activate();
        idle->Deactivate();
        hello->Activate();
        hello->Deactivate();
        data->Activate(); // the current state
        TConnectoidPath path;
        ASSERT_TRUE(machine.ConnectoidPath(hello->Conditions()[1], path));
        machine.ClickConnectoids(static_cast<int>((path.X1 + path.X2) / 2), static_cast<int>((path.Y1 + path.Y2) / 2),
                                 false, false);
        ASSERT_TRUE(hello->Conditions()[1].Connectoid()->Highlighted);
        EXPECT_FALSE(kyd::test::SaveScreenshot(&machine, "state_machine").isEmpty());
    }
    loop.processPending();
    pf::setMessageLoop(nullptr);
}

} // namespace
} // namespace sio::test
