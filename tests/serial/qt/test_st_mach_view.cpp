// The state machine widgets on the offscreen platform: a dialogue with a
// pseudo-terminal peer through the Qt message loop, and what they draw.
#include "platform/port_resolver.h"
#include "platform/pty.h"
#include "platform/qt/qt_message_loop.h"
#include "serial/SioPort.h"
#include "serial/qt/SioStMachView.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

constexpr int kCom = 44;

// The peer's side of the line.
struct Peer {
    pf::PtyMaster pty;
    bool ok() const { return !pty.slavePath().empty(); }
    const std::string slavePath() const { return pty.slavePath(); }
    bool write(const std::string& s)
    {
        std::size_t done = 0;
        while (done < s.size()) {
            if (pty.waitWritable(3000) != pf::PtyMaster::Wait::Ready)
                return false;
            const long n = pty.writeSome(s.data() + done, s.size() - done);
            if (n < 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    std::string read(std::size_t n, int timeoutMs)
    {
        std::string got;
        char buf[256];
        while (got.size() < n && pty.waitReadable(timeoutMs) == pf::PtyMaster::Wait::Ready) {
            const long k = pty.readSome(buf, std::min(sizeof buf, n - got.size()));
            if (k < 0)
                break;
            got.append(buf, static_cast<std::size_t>(k));
        }
        return got;
    }
};

class StateMachineView : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        pf::setMessageLoop(&loop);
        pf::setPortResolverUsesSharedIni(false);
        pf::setPortPathOverride(kCom, pty.slavePath());
        port = std::make_unique<TSioComPort>(&form);
        port->SetAutoOpen(true);
        port->SetPromptForPort(false);
        port->SetComNumber(kCom);
        machine = std::make_unique<TSioStateMachine>(nullptr, &form);
        machine->resize(420, 160);
        machine->Caption = "Dialogue";
        machine->OnStateChange = [this](TSioCustomStateMachine&, TSioCustomState* from, TSioCustomState* to) {
            changes.push_back(from->Name + ">" + to->Name);
        };
        machine->OnStateMachineFinish = [this](TSioCustomStateMachine&, int code) { finishes.push_back(code); };
        a = add("A", 20, 50);
        b = add("B", 170, 50);
        c = add("C", 320, 50);
        a->OutputOnActivate = "?\r";
        link(*a, *b, "A1\r");
        link(*b, *c, "B2\r").OutputOnActivate = "bye\r";
        machine->StartState = a;
        machine->show();
    }
    void TearDown() override
    {
        machine.reset();
        port.reset();
        loop.processPending();
        pf::clearPortPathOverrides();
        pf::setMessageLoop(nullptr);
    }

    TSioState* add(const std::string& name, int x, int y)
    {
        auto* s = new TSioState(machine.get(), &form);
        s->SetName(name);
        s->SetCaption(name);
        s->SetBounds(x, y, 75, 50);
        return s;
    }
    static TSioStateCondition& link(TSioState& from, TSioState& to, const std::string& end)
    {
        TSioStateCondition& k = from.Conditions().Add();
        k.EndString = end;
        k.SetNextState(&to);
        k.SetCaption(end.substr(0, 2));
        return k;
    }
    QImage picture()
    {
        QApplication::processEvents();
        return machine->grab().toImage();
    }
    // Somewhere inside the state, below its caption line.
    static QPoint inside(const TSioState& s) { return {s.Left() + s.Width() / 2, s.Top() + s.Height() - 8}; }
    // Whether a pixel on or next to (x, y) has the colour.
    static bool near(const QImage& img, QPointF at, QColor want)
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QColor got = img.pixelColor(static_cast<int>(at.x()) + dx, static_cast<int>(at.y()) + dy);
                if (std::abs(got.red() - want.red()) < 40 && std::abs(got.green() - want.green()) < 40 &&
                    std::abs(got.blue() - want.blue()) < 40)
                    return true;
            }
        return false;
    }
    static QPointF middle(const TConnectoidPath& p) { return {(p.X1 + p.X2) / 2, (p.Y1 + p.Y2) / 2}; }

    Peer pty;
    pf::QtMessageLoop loop;
    TSioBaseComponent form;
    std::unique_ptr<TSioComPort> port;
    std::unique_ptr<TSioStateMachine> machine;
    TSioState* a = nullptr;
    TSioState* b = nullptr;
    TSioState* c = nullptr;
    std::vector<std::string> changes;
    std::vector<int> finishes;
};

TEST_F(StateMachineView, RunsADialogueWithAPeerAndShowsTheActiveState)
{
    machine->Start(); // opens the port (AutoOpen)
    ASSERT_TRUE(port->GetOpen());
    EXPECT_EQ("?\r", pty.read(2, 3000));
    QImage img = picture();
    EXPECT_EQ(QColor(255, 255, 0), img.pixelColor(inside(*a))); // active: yellow
    EXPECT_EQ(QColor(255, 255, 255), img.pixelColor(inside(*b)));
    ASSERT_TRUE(pty.write("A1\r"));
    ASSERT_TRUE(loop.pumpUntil([&] { return machine->CurrentState() == b; }, 5000));
    ASSERT_TRUE(pty.write("B2\r"));
    ASSERT_TRUE(loop.pumpUntil([&] { return !finishes.empty(); }, 5000));
    EXPECT_EQ((std::vector<std::string>{"A>B", "B>C"}), changes);
    EXPECT_EQ(std::vector<int>{0}, finishes);
    EXPECT_EQ("bye\r", pty.read(4, 3000));
    img = picture();
    EXPECT_EQ(QColor(255, 255, 255), img.pixelColor(inside(*a)));
    EXPECT_EQ(QColor(255, 255, 0), img.pixelColor(inside(*c)));
}

TEST_F(StateMachineView, DrawsConnectoidsAndHighlightsTheSelectedOne)
{
    TConnectoidPath ab;
    ASSERT_TRUE(machine->ConnectoidPath(a->Conditions()[0], ab));
    QImage img = picture();
    EXPECT_TRUE(near(img, middle(ab), QColor(0, 0, 255))); // blue line between A and B
    EXPECT_TRUE(near(img, {ab.X2 - 2, ab.Y2}, QColor(0, 0, 255))); // arrowhead at B's edge
    EXPECT_TRUE(near(img, {(ab.X1 + ab.X2) / 2, ab.Y2 + 20}, QColor(255, 255, 255)));

    machine->ConnectoidClickStyle = ccsHighlight | ccsHint;
    std::vector<TSioStateConnectoid*> clicked;
    machine->OnConnectoidClick = [&](TSioCustomStateMachine&, TSioStateConnectoid& k) { clicked.push_back(&k); };
    const QPointF m = middle(ab);
    QMouseEvent press(QEvent::MouseButtonPress, m, machine->mapToGlobal(m), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(machine.get(), &press);
    ASSERT_EQ(1u, clicked.size());
    EXPECT_EQ(a->Conditions()[0].Connectoid(), clicked[0]);
    img = picture();
    EXPECT_TRUE(near(img, m, QColor(255, 0, 0)));     // highlighted: red
    // The hint box at (3, 3), over the caption: a black frame, light yellow inside.
    EXPECT_EQ(QColor(0, 0, 0), img.pixelColor(3, 3));
    EXPECT_EQ(QColor(0xFF, 0xFF, 0xBF), img.pixelColor(4, machine->fontMetrics().height() + 4));
    TConnectoidPath bc;
    ASSERT_TRUE(machine->ConnectoidPath(b->Conditions()[0], bc));
    EXPECT_TRUE(near(img, middle(bc), QColor(0, 0, 255)));
}

TEST_F(StateMachineView, ConnectoidCaptionIsDrawnInTheConnectoidsColour)
{
    TSioStateCondition& k = a->Conditions()[0];
    k.SetCaption("WWWW");
    k.SetColor(0x0000C000); // green
    TConnectoidPath ab;
    ASSERT_TRUE(machine->ConnectoidPath(k, ab));
    const QImage img = picture();
    // Around the caption, between the two states: the caption's pixels are
    // green like the line, none of them in the font's black.
    int green = 0, dark = 0;
    for (int y = static_cast<int>(ab.CaptionY) - 20; y <= static_cast<int>(ab.CaptionY) + 20; ++y)
        for (int x = a->Left() + a->Width() + 5; x < b->Left() - 5; ++x) {
            const QColor px = img.pixelColor(x, y);
            if (px.green() > 120 && px.red() < 100 && px.blue() < 100)
                ++green;
            if (px.red() < 60 && px.green() < 60 && px.blue() < 60)
                ++dark;
        }
    EXPECT_GT(green, 20);
    EXPECT_EQ(0, dark);
}

TEST_F(StateMachineView, GlyphCellsFollowTheStateAndMovableStatesDrag)
{
    QPixmap glyph(30, 10);
    glyph.fill(Qt::transparent);
    {
        QPainter p(&glyph);
        p.fillRect(0, 0, 10, 10, Qt::red);
        p.fillRect(10, 0, 10, 10, Qt::green);
        p.fillRect(20, 0, 10, 10, Qt::blue);
    }
    a->SetGlyph(glyph);
    a->SetGlyphCells(3);
    const QPoint glyphAt(a->Left() + a->Width() / 2, a->Top() + 2 + a->fontMetrics().height() +
                                                         (a->Height() - 4 - a->fontMetrics().height()) / 2);
    EXPECT_EQ(QColor(255, 0, 0), picture().pixelColor(glyphAt)); // idle: cell 0
    machine->Start();
    EXPECT_EQ(QColor(0, 255, 0), picture().pixelColor(glyphAt)); // active: cell 1
    machine->Cancel();
    EXPECT_EQ(QColor(0, 0, 255), picture().pixelColor(glyphAt)); // finished: cell 2
    EXPECT_EQ(QColor(255, 255, 255), picture().pixelColor(a->Left() + 3, a->Top() + a->Height() - 3));

    // Not movable: a drag leaves it; movable: it moves by the travel.
    auto drag = [&](TSioState* s, QPoint by) {
        const QPointF from(5, 5);
        const QPointF g = s->mapToGlobal(from);
        QMouseEvent press(QEvent::MouseButtonPress, from, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(s, &press);
        QMouseEvent move(QEvent::MouseMove, from + QPointF(by), g + QPointF(by), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(s, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, from + QPointF(by), g + QPointF(by), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(s, &release);
    };
    drag(b, {10, 20});
    EXPECT_EQ(QPoint(170, 50), b->pos());
    b->Movable = true;
    drag(b, {10, 20});
    EXPECT_EQ(QPoint(180, 70), b->pos());
    EXPECT_EQ(180, b->Left());
    machine->MovableStates = true;
    drag(c, {-5, 0});
    EXPECT_EQ(315, c->Left());
}

TEST_F(StateMachineView, DeletingAStateWidgetRemovesItsTransitions)
{
    machine->Start();
    delete b;
    EXPECT_EQ(0, a->Conditions().Count());
    EXPECT_EQ(2u, machine->States().size());
    delete a; // the current state
    EXPECT_EQ(nullptr, machine->CurrentState());
    EXPECT_FALSE(machine->Running());
    picture();
}

} // namespace
} // namespace sio::test
