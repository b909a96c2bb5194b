// Storing and loading state machines, and placing a state without a machine.
#include "serial/SioStMachStore.h"

#include <gtest/gtest.h>

namespace sio::test {
namespace {

struct Graph {
    TSioBaseComponent form;
    TSioCustomStateMachine machine{&form};
    std::vector<std::unique_ptr<TSioCustomState>> states;
};

// A machine that uses every stored property, with values off their defaults.
void Build(Graph& g)
{
    g.machine.Caption = "Dialogue \"one\"";
    g.machine.Color = 0x00C0C0C0;
    g.machine.MovableStates = true;
    g.machine.ConnectoidClickStyle = ccsHint | ccsDashedLine;
    g.machine.SingleBorder = false;
    for (const char* name : {"Hello", "Work", "Done"}) {
        g.states.push_back(std::make_unique<TSioCustomState>(&g.form));
        g.states.back()->Name = name;
        g.states.back()->SetMachine(&g.machine);
    }
    TSioCustomState& hello = *g.states[0];
    TSioCustomState& work = *g.states[1];
    hello.SetCaption("");
    hello.SetBounds(10, 20, 90, 40);
    hello.OutputOnActivate = std::string("HELLO\r\x01\xFF\\", 9);
    hello.SetActiveColor(clRed);
    hello.SetInactiveColor(0x00123456);
    hello.SetGlyphCells(3);
    hello.Movable = true;
    hello.Font = TSioFont{"Sans", 10, clBlue};
    work.SetCaption("Work\tit");
    work.SetBounds(-5, 200, 75, 50);
    work.ActionState = true;
    TSioStateCondition& ready = hello.Conditions().Add();
    ready.SetNextState(&work);
    ready.EndString = "READY\r";
    ready.StartString = "#";
    ready.PacketSize = 12;
    ready.Timeout = 0;
    ready.ErrorCode = -7;
    ready.IgnoreCase = true;
    ready.DefaultError = true;
    ready.OutputOnActivate = "GO\r";
    ready.SetCaption(""); // an empty caption, not the default one
    ready.Connectoid()->SetWidth(3);
    ready.Connectoid()->Font = TSioFont{"Mono", 7, clRed};
    TSioStateCondition& self = hello.Conditions().Add();
    self.SetNextState(&hello);
    self.DefaultNext = true;
    self.SetConnectoid(nullptr);
    TSioStateCondition& done = work.Conditions().Add();
    done.SetNextState(g.states[2].get());
    done.SetColor(clFuchsia);
    work.Conditions().Add(); // no next state
    g.machine.StartState = &hello;
    g.machine.TerminalState = g.states[2].get();
}

TEST(StateMachineStore, ARoundTripKeepsEveryStoredProperty)
{
    Graph a;
    Build(a);
    const std::string text = StoreStateMachine(a.machine);
    Graph b;
    LoadStateMachine(text, b.machine, &b.form, b.states);
    EXPECT_EQ(text, StoreStateMachine(b.machine)); // exact
    ASSERT_EQ(3u, b.states.size());
    TSioCustomState& hello = *b.states[0];
    EXPECT_EQ(&hello, b.machine.StartState);
    EXPECT_EQ(b.states[2].get(), b.machine.TerminalState);
    EXPECT_EQ(&b.form, hello.Owner());
    EXPECT_EQ((std::vector<std::string>{"Hello", "Work", "Done"}), b.machine.GetStateNames());
    EXPECT_EQ(0x00123456u, hello.GetInactiveColor());
    EXPECT_EQ(std::string("HELLO\r\x01\xFF\\", 9), hello.OutputOnActivate);
    EXPECT_EQ(20, hello.Top());
    ASSERT_EQ(2, hello.Conditions().Count());
    EXPECT_EQ("", hello.Conditions()[0].GetCaption()); // stays empty
    EXPECT_NE(nullptr, hello.Conditions()[0].Connectoid());
    EXPECT_EQ(b.states[1].get(), hello.Conditions()[0].GetNextState());
    EXPECT_EQ(nullptr, hello.Conditions()[1].Connectoid());
    EXPECT_EQ(&hello, hello.Conditions()[1].GetNextState());
    EXPECT_EQ(nullptr, b.states[1]->Conditions()[1].GetNextState());
    EXPECT_EQ("Connectoid", b.states[1]->Conditions()[0].GetCaption());
    EXPECT_EQ(clFuchsia, b.states[1]->Conditions()[0].GetColor());
    EXPECT_EQ("Dialogue \"one\"", b.machine.Caption);
    EXPECT_FALSE(b.machine.SingleBorder);
}

TEST(StateMachineStore, LeftOutItemsKeepTheirDefaults)
{
    Graph g;
    g.machine.Color = 0x00DDDDDD;
    LoadStateMachine("KYD state machine 1\r\nmachine\r\nstate Name=\"A\"\r\ncondition\r\nconnectoid\r\nend\r\n",
                     g.machine, &g.form, g.states);
    ASSERT_EQ(1u, g.states.size());
    const TSioCustomState& a = *g.states[0];
    EXPECT_EQ(75, a.Width());
    EXPECT_EQ(clWhite, a.GetInactiveColor()); // the loaded machine's colour
    EXPECT_EQ(clWhite, g.machine.Color);
    EXPECT_EQ(2048, a.Conditions()[0].Timeout);
    EXPECT_EQ("Connectoid", a.Conditions()[0].GetCaption());
    EXPECT_EQ(nullptr, g.machine.StartState);
}

TEST(StateMachineStore, DamagedTextIsRefusedAndChangesNothing)
{
    Graph good;
    Build(good);
    const std::string text = StoreStateMachine(good.machine);
    const std::string head = "KYD state machine 1\nmachine\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1: not a state machine"},
        {"KYD state machine 2\nmachine\nend\n", "line 1: not a state machine"},
        {text.substr(0, text.size() - 4), "ends before its end line"},
        {text + "state Name=\"Late\"\n", "text after end"},
        {head + "state Name=\"A\"\nstate Name=\"A\"\nend\n", "line 4: a second state named \"A\""},
        {head + "state Caption=\"A\"\nend\n", "line 3: a state needs a Name"},
        {head + "condition\nend\n", "a condition outside a state"},
        {head + "state Name=\"A\"\nconnectoid\nend\n", "a connectoid outside a condition"},
        {head + "state Name=\"A\"\ncondition NextState=\"B\"\nend\n", "item NextState names no state: \"B\""},
        {"KYD state machine 1\nmachine StartState=\"X\"\nend\n", "line 2: item StartState names no state"},
        {head + "state Name=\"A\" Left=1e3\nend\n", "line 3: item Left is not a whole number"},
        {head + "state Name=\"A\" GlyphCells=4\nend\n", "item GlyphCells is out of range (0 to 3)"},
        {head + "state Name=\"A\" Width=-1\nend\n", "item Width is out of range"},
        {head + "state Name=\"A\" Movable=2\nend\n", "item Movable is not 0 or 1"},
        {head + "state Name=\"A\" ActiveColor=$00FF00\nend\n", "item ActiveColor is not a colour"},
        {head + "state Name=\"A\" Caption=\"open\nend\n", "line 3: a string has no closing quote"},
        {head + "state Name=\"A\" Caption=\"\\q\"\nend\n", "unknown escape \\q"},
        {head + "state Name=\"A\" Caption=\"\\x4\"\nend\n", "\\x needs two hex digits"},
        {head + "state Name=\"A\" Colour=$00000000\nend\n", "unknown item Colour in state"},
        {head + "state Name=\"A\" Left=1 Left=2\nend\n", "item Left is given twice"},
        {head + "state Name=\"A\"  Left=1\nend\n", "an item's key is not a name"},
        {head + "state Name=\"A\" Left\nend\n", "an item is not Key=Value"},
        {head + "state Name=\"A\" Left=\nend\n", "item Left has no value"},
        {head + "transition\nend\n", "unknown record \"transition\""},
        {head + "end x=1\n", "end takes no items"},
        {"KYD state machine 1\nstate Name=\"A\"\nend\n", "no machine record"},
    };
    for (const auto& c : cases) {
        Graph g;
        try {
            LoadStateMachine(c.text, g.machine, &g.form, g.states);
            ADD_FAILURE() << "loaded: " << c.text;
        } catch (const EStateMachineLoad& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.error)) << e.what();
        }
        EXPECT_TRUE(g.states.empty());
        EXPECT_TRUE(g.machine.States().empty());
        EXPECT_TRUE(g.form.Components().size() == 1) << "only the machine on the form";
        EXPECT_EQ("", g.machine.Caption);
    }
    // Into a machine that already has states.
    EXPECT_THROW(LoadStateMachine(text, good.machine, &good.form, good.states), EStateMachineLoad);
}

TEST(StateMachinePlacement, AStateWithoutAMachineGoesToTheFirstOrANewOne)
{
    TSioBaseComponent form;
    TSioBaseComponent other(&form);
    other.Name = "SioStateMachine1";
    EXPECT_EQ("SioStateMachine2", NewStateMachineName(&form));
    EXPECT_EQ("SioStateMachine1", NewStateMachineName(nullptr));
    TSioCustomState s(&form);
    s.SetBounds(300, 300, 75, 50);
    std::unique_ptr<TSioCustomStateMachine> created;
    TSioCustomStateMachine* m = PlaceState(s, &form, created);
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(created.get(), m);
    EXPECT_EQ("SioStateMachine2", m->Name);
    EXPECT_EQ(m, s.Machine());
    EXPECT_EQ(10, s.Left());
    EXPECT_EQ(10, s.Top());
    // A second state joins it where it is.
    TSioCustomState t(&form);
    t.SetBounds(50, 60, 75, 50);
    std::unique_ptr<TSioCustomStateMachine> none;
    EXPECT_EQ(m, PlaceState(t, &form, none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(50, t.Left());
}

} // namespace
} // namespace sio::test
