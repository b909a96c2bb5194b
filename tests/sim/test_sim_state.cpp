// State that carries across commands.

#include "support_client.h"

#include "sim/in_process_link.h"

#include <gtest/gtest.h>

using namespace kyd::sim;

namespace {

class State : public ::testing::Test {
protected:
    Simulator sim;
    InProcessLink link{sim};

    std::string send(const std::string& command)
    {
        bool ok = false;
        std::string text = simtest::unframe(link.exchange(command), ok);
        EXPECT_TRUE(ok) << command;
        return text;
    }
    char status(const std::string& command) { return send(command).at(0); }
    std::string delivered(const std::string& reply) { return reply.substr(3, 3); }
};

TEST_F(State, DispenseDeliverThenThroatChecksUntilTheNotesAreTaken)
{
    sim.withCore([](SimCore& c) { c.config().throatChecksToRemove = 3; });
    ASSERT_EQ(status("8"), '0');
    std::string r = send("2010052002"); // move forward: onto the stack
    ASSERT_EQ(r[0], '0');
    EXPECT_EQ(delivered(r), "007");
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.stackNotes(); }), 7);
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(1).notes; }), 495);

    EXPECT_EQ(status(":"), '0'); // nothing in the throat yet
    EXPECT_EQ(status("3"), '0'); // deliver
    EXPECT_EQ(status("101001"), 'M'); // no dispense while notes wait in the throat
    EXPECT_EQ(status(":"), 'M');
    EXPECT_EQ(status(":"), 'M');
    EXPECT_EQ(status(":"), 'M');
    EXPECT_EQ(status(":"), '0'); // taken
    EXPECT_EQ(status(":"), '0');
    EXPECT_EQ(status("3"), '8'); // nothing left to deliver
    EXPECT_EQ(send("RD/303").substr(2), "0000000007");
    EXPECT_EQ(send("RD/320").substr(2), "0000000001");
}

// A dispense presents its bundle: a long series never fills the stack, and
// the throat says 'M' until the operator takes the notes, by time here.
TEST_F(State, DispensePresentsTheBundleUntilTakenInTime)
{
    long long now = 0;
    sim.withCore([](SimCore& c) { c.config().takeNotesAfterMs = 3000; });
    auto at = [&](long long ms, const std::string& cmd) {
        now = ms;
        return sim.withCore([&](SimCore& c) {
            c.setTimeMs(now);
            return c.execute(cmd);
        })[0];
    };
    ASSERT_EQ(at(0, "8"), '0');
    for (int i = 0; i < 8; ++i) {
        const long long t = i * 10'000;
        ASSERT_EQ(at(t, "101020"), '0') << i; // 160 notes in all, above the stack's 100
        EXPECT_EQ(sim.withCore([](SimCore& c) { return c.throatNotes(); }), 20);
        EXPECT_EQ(at(t + 2999, ":"), 'M');
        EXPECT_EQ(at(t + 2999, "101001"), 'M'); // nothing while the throat is full
        EXPECT_EQ(at(t + 3000, ":"), '0');
    }
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(1).notes; }), 500 - 160);
    EXPECT_EQ(send("RD/303").substr(2), "0000000160");

    // Left in the throat: 'M' until retracted, however long it takes.
    sim.withCore([](SimCore& c) { c.config().notesLeftInThroat = 1; });
    ASSERT_EQ(at(100'000, "102005"), '0');
    EXPECT_EQ(at(900'000, ":"), 'M');
    EXPECT_EQ(at(900'000, "D10"), '0');
    EXPECT_EQ(at(900'000, ":"), '0');
    EXPECT_EQ(at(900'001, "102005"), '0'); // the next bundle is taken again
    EXPECT_EQ(at(903'001, ":"), '0');
}

TEST_F(State, OpenDispenseClose)
{
    sim.withCore([](SimCore& c) { c.config().takeNotesAfterMs = 0; });
    EXPECT_EQ(status("101001"), '3');   // machine not opened
    EXPECT_EQ(status("821"), '0');        // open cassette 2 only
    EXPECT_EQ(status("101001"), ':');   // cassette 1 is not open
    EXPECT_EQ(status("1010011001"), '>'); // the same cassette twice
    std::string r = send("102001");
    EXPECT_EQ(r.substr(0, 1) + delivered(r), "0001");
    EXPECT_EQ(status("105001"), ':');   // feeder 5 is not fitted
    EXPECT_EQ(status("7"), '0');          // close all
    EXPECT_EQ(status("102001"), '3');
    EXPECT_EQ(status("8"), '0');
    EXPECT_EQ(status("102001"), '0');
    EXPECT_EQ(status("731"), '0');        // close cassette 3
    EXPECT_EQ(status("103001"), ':');
    EXPECT_EQ(status("832"), '>');        // neither open nor latch
    EXPECT_EQ(status("8"), '0');
    // The last-status reply reports the failed attempt's cassette record.
    EXPECT_EQ(status("105001"), ':');
    EXPECT_EQ(send("6"), "05:000");
}

TEST_F(State, EmptyCassetteTooManyNotesAndRejects)
{
    status("8");
    sim.withCore([](SimCore& c) { c.cassette(2).notes = 3; });
    std::string r = send("2010022005");
    EXPECT_EQ(r[0], '2');
    EXPECT_EQ(delivered(r), "005");
    EXPECT_EQ(send("6"), "01000222003"); // cassette 2 short: status '2', 3 notes
    EXPECT_EQ(send("5").substr(8, 2), "22"); // cassette 2 now reports empty

    EXPECT_EQ(status("4"), '0'); // bundle to the reject vault
    EXPECT_EQ(status("1010101"), '>'); // malformed record
    EXPECT_EQ(status("201101"), 'B'); // 101 notes > item 104 (100)
    EXPECT_EQ(status("WD/104/10"), '0');
    EXPECT_EQ(status("201011"), 'B');
    EXPECT_EQ(status("201010"), '0');

    sim.withCore([](SimCore& c) { c.config().rejectEvery = 3; });
    status("4");
    r = send("203006");
    EXPECT_EQ(r[0], '4');            // notes were rejected
    EXPECT_EQ(delivered(r), "006"); // but the count was made up
    std::string trace = send("9").substr(1);
    // Two rejects (a double note, then a thin note), then the end marker.
    EXPECT_EQ(trace.substr(0, 3), "170");
    std::string table = send("RD/300").substr(2);
    EXPECT_EQ(table.substr(0, 10), "0200111001") << table;
}

TEST_F(State, RetractAndMoveForwardToReject)
{
    status("8");
    EXPECT_EQ(status("D00"), '<');
    status("201005");
    status("3");
    EXPECT_EQ(status("D00"), '0'); // back to the stack
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.stackNotes(); }), 5);
    status("3");
    EXPECT_EQ(status("D10"), '0'); // into the reject vault
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(0).notes; }), 5);
    EXPECT_EQ(send("RD/390").substr(2), "0000000002");
    EXPECT_EQ(send("RD/210").substr(2), "1");
    // Move forward with '9': the notes go straight to the reject vault.
    EXPECT_EQ(status("291004"), '0');
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.stackNotes(); }), 0);
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(0).notes; }), 9);
}

TEST_F(State, ItemWritesThenReads)
{
    EXPECT_EQ(status("WD/104/80"), '0');
    EXPECT_EQ(send("RD/104"), "0/080");
    EXPECT_EQ(status("WD/204/ 45"), '0'); // blanks from the editor's mask
    EXPECT_EQ(send("RD/204"), "0/045");
    EXPECT_EQ(status("WD/208/2"), '0');
    EXPECT_EQ(send("RD/208"), "0/2");

    EXPECT_EQ(status("WD/9328/ABCD1234"), '0');
    EXPECT_EQ(send("RD/9328"), "0/ABCD1234");
    EXPECT_EQ(send("5").substr(15, 7), "30D1234"); // third record: 5-character id
    EXPECT_EQ(status("WD/9328/AB"), '0');
    EXPECT_EQ(send("RD/9328"), "0/AB      ");
    EXPECT_EQ(status("WD/9328/123456789"), '>');
    EXPECT_EQ(status("WD/9327/EUR052 "), '0');
    EXPECT_EQ(send("RD/9327"), "0/EUR052 ");
    EXPECT_EQ(status("WD/9327/EUR002"), '>');
    EXPECT_EQ(status("WD/9329/072150"), '0');
    EXPECT_EQ(send("RD/9329"), "0/072150");
    EXPECT_EQ(send("RD/202").substr(2 + 26, 13), "EUR052 072150");
    EXPECT_EQ(status("WD/9629/072150"), 'P'); // no cassette at 6
    EXPECT_EQ(status("WD/9027/EUR052"), '8'); // the reject vault keeps only its id

    // Module ids: a standard record and an extended one.
    EXPECT_EQ(status("WD/110/NFC26010203ABCDEFG"), '0');
    EXPECT_EQ(send("RD/110/1").substr(2 + 18, 18), "NFC26010203ABCDEFG");
    EXPECT_EQ(status("WD/110/0003            AB"), '0');
    EXPECT_EQ(send("RD/110/3").substr(2 + 36, 18), "0003            AB");
    EXPECT_EQ(status("WD/110/XYZ1234"), '>');

    // Defaults come back.
    EXPECT_EQ(status("Z6F"), '0');
    EXPECT_EQ(send("RD/104"), "0/100");
    EXPECT_EQ(send("RD/208"), "0/0");
}

TEST_F(State, ErrorLogPagesAndCounters)
{
    std::vector<ErrorLogEntry> log;
    for (int i = 0; i < 30; ++i)
        log.push_back({3, i % 100, "0042"});
    sim.withCore([&](SimCore& c) { c.setErrorLog(log); });
    std::string p0 = send("RD/311").substr(1);
    EXPECT_EQ(p0.size(), 1u + 28 * 8); // full page, no end marker
    std::string p1 = send("RD/311/1").substr(1);
    EXPECT_EQ(p1, "/03280042032900420000000" "0");
    EXPECT_EQ(send("RD/311/2").substr(1), "/00000000");
    EXPECT_EQ(status("WD/237/0"), '0'); // clear the non-volatile memory
    EXPECT_EQ(send("RD/311").substr(1), "/00000000");
}

TEST_F(State, ResendLastReply)
{
    EXPECT_EQ(send("K"), "e"); // nothing to resend yet
    std::string ids = send("5");
    EXPECT_EQ(send("K"), ids);
    EXPECT_EQ(send("K"), ids);
    // A frame with a bad checksum does not replace what K resends.
    EXPECT_EQ(link.write("536\r"), simtest::framed("7"));
    EXPECT_EQ(send("K"), ids);
    send("0");
    EXPECT_EQ(send("K"), "0");
}

TEST_F(State, StatusTableCountsNonSuccessReplies)
{
    status("X");
    status("X");
    status("101001"); // '3'
    std::string p = send("RD/301").substr(2);
    EXPECT_NE(p.find("33001"), std::string::npos) << p;
    EXPECT_NE(p.find("38002"), std::string::npos) << p;
    EXPECT_EQ(status("WD/310/0"), '0');
    EXPECT_EQ(send("RD/301"), "j"); // cleared: no data
}

TEST_F(State, PowerOnAnswersAreDataOrSayThereIsNone)
{
    // Before the first dispense every cassette in place reports itself idle.
    EXPECT_EQ(send("6"), "0" "10000" "20000" "30000" "40000");
    EXPECT_EQ(send("9"), "0" + std::string(20, '0')); // empty trace: end markers only
    EXPECT_EQ(send("RD/300"), "j");
    // Cassette items differ per position (writes read back: ItemWritesThenReads).
    EXPECT_EQ(send("RD/9127"), "0/EUR101 ");
    EXPECT_EQ(send("RD/9227"), "0/EUR201 ");
    EXPECT_EQ(send("RD/9329"), "0/077141");
    EXPECT_EQ(send("RD/9528"), "P"); // no cassette at position 5
    // Counters follow what was dispensed and rejected.
    sim.withCore([](SimCore& c) { c.config().rejectEvery = 4; });
    status("8");
    status("101008");
    status("3");
    EXPECT_EQ(send("RD/303"), "0/0000000008");
    EXPECT_EQ(send("RD/304"), "0/0000000002");
    EXPECT_EQ(send("RD/308"), "0/0000000002");
}

} // namespace

// A fault shows alike in the status check, the self-test data and the
// status of the commands it touches.
TEST(Faults, ShowAlikeInStatusCheckSelfTestAndReplies)
{
    SimConfig config;
    config.fittedFeeders = {1, 2, 3, 6};
    config.emptyCassettes = {2};
    config.jammedExitSensors = {3};
    config.rejectVaultNotes = config.rejectVaultAlmostFull;
    config.takeNotesAfterMs = 0; // taken before the next command
    Simulator sim(config);
    InProcessLink link{sim};
    auto send = [&link](const std::string& command) {
        bool ok = false;
        std::string text = simtest::unframe(link.exchange(command), ok);
        EXPECT_TRUE(ok) << command;
        return text;
    };
    ASSERT_EQ(send("8"), "0");

    // Status check: the vault almost full (internal 01), feeder 2 empty
    // (status '2', internal 07), feeder 3 stuck (status 'J', internal 10),
    // feeders 4, 5, 7 and 8 not fitted.
    const std::string q = send("Q");
    ASSERT_EQ(q.size(), 105u);
    EXPECT_EQ(q.substr(1, 5), "0D601");
    EXPECT_EQ(q.substr(11, 5), "10500");
    EXPECT_EQ(q.substr(21, 5), "22507");
    EXPECT_EQ(q.substr(31, 5), "3J510");
    EXPECT_EQ(q.substr(41, 5), "40000");
    EXPECT_EQ(q.substr(61, 5), "60500");
    EXPECT_EQ(q.substr(91), std::string(14, '0'));

    // Self-test: the stuck exit sensor is in error, the empty one reports
    // empty; a feeder that is not fitted refuses the command.
    EXPECT_EQ(send("G3").substr(1, 2), "20");
    EXPECT_EQ(send("G2").substr(1, 2), "01");
    EXPECT_EQ(send("G4"), "8");

    // Dispenses: the stuck feeder fails before any note moves, the empty
    // one reports empty, a good one reports the vault almost full.
    EXPECT_EQ(send("103005"), "J100003J000");
    EXPECT_EQ(send("6"), "03J000");
    EXPECT_EQ(send("102005")[0], '2');
    EXPECT_EQ(send("101005")[0], 'D');
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(3).notes; }), 500);

    // Full: refused with 'Q', shown as internal 02.
    sim.withCore([](SimCore& c) { c.cassette(0).notes = c.config().rejectVaultCapacity; });
    EXPECT_EQ(send("101005")[0], 'Q');
    EXPECT_EQ(send("Q").substr(1, 5), "0Q602");
    // Cleared at run time through the same state.
    sim.withCore([](SimCore& c) {
        c.cassette(0).notes = 0;
        c.cassette(3).exitJammed = false;
    });
    EXPECT_EQ(send("Q").substr(31, 5), "30500");
    EXPECT_EQ(send("103005")[0], '0');
}
