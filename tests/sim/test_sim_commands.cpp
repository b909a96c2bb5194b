// Every command the tester sends gets a framed reply whose checksum holds,
// in printable characters, with the status the tester expects; a few
// payloads are decoded at the positions the tester reads, written here from
// the tester's side. Other layouts belong to the tests of the windows that
// decode them.

#include "support_client.h"

#include "sim/in_process_link.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kyd::sim;
using simtest::unframe;

namespace {

// 1-based substring, as the tester reads replies.
std::string at(const std::string& s, std::size_t pos, std::size_t len)
{
    if (pos == 0 || pos > s.size())
        return {};
    return s.substr(pos - 1, len);
}

bool digitsOnly(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Code form of a denomination: 3 letters, 2-digit mantissa >= 1, power digit, optional variant.
bool denominationCode(const std::string& s)
{
    if (s.size() != 7)
        return false;
    for (int i = 0; i < 3; ++i)
        if (!std::isupper(static_cast<unsigned char>(s[i])))
            return false;
    return digitsOnly(s.substr(3, 3)) && std::stoi(s.substr(3, 2)) >= 1;
}

struct Case {
    std::string command;
    char status;
    std::function<void(const std::string& payload)> check; // payload: reply without status
};

class Commands : public ::testing::Test {
protected:
    Simulator sim;
    InProcessLink link{sim};

    std::string send(const std::string& command)
    {
        std::string raw = link.exchange(command);
        bool ok = false;
        std::string text = unframe(raw, ok);
        EXPECT_TRUE(ok) << command << " -> " << raw;
        return text;
    }
};

TEST_F(Commands, EveryCommandAnswersWithAVerifiedChecksumAndParsablePayload)
{
    ASSERT_EQ(send("8")[0], '0'); // open all cassettes first

    const std::vector<Case> cases = {
        {"0", '0', nullptr},
        {"5", '0',
         [](const std::string& p) {
             ASSERT_EQ(p.size() % 7, 0u);
             ASSERT_EQ(p.size() / 7, 4u); // feeders 1..4 fitted by default
             for (std::size_t i = 0; i < p.size() / 7; ++i) {
                 EXPECT_EQ(p[7 * i], static_cast<char>('1' + i));
                 EXPECT_EQ(p[7 * i + 1], '0');
             }
         }},
        {"6", '0', nullptr}, {"9", '0', nullptr},
        {"A", '0', nullptr}, // decoded in its own test
        {"Q", '0',
         [](const std::string& p) {
             ASSERT_EQ(p.size(), 104u);
             for (int h = 0; h < 9; ++h) {
                 std::string rec = at(p, 1 + 10 * h, 10);
                 EXPECT_EQ(rec[0], '0' + h);
                 EXPECT_TRUE(rec[2] >= '0' && rec[2] <= '9');
                 if (rec[2] != '0' || h == 0) {
                     EXPECT_TRUE(digitsOnly(rec.substr(3, 2))) << rec;
                 }
             }
             EXPECT_EQ(at(p, 1, 10).substr(0, 5), "00600"); // reject vault present, open for bundles, OK
             EXPECT_EQ(at(p, 11 + 2, 1), "5");               // feeder 1: cassette operational (open)
             EXPECT_EQ(at(p, 51 + 2, 1), "0");               // feeder 5: no feeder
             EXPECT_TRUE(digitsOnly(at(p, 91, 14)));
         }},
        {"GA", '0',
         [](const std::string& p) {
             EXPECT_TRUE(p[0] >= '0' && p[0] <= '4');
             EXPECT_TRUE(digitsOnly(at(p, 2, 3)));
             ASSERT_EQ((p.size() - 4) % 21, 0u);
             ASSERT_GE(p.size(), 25u);
             for (std::size_t s = 5; s < p.size(); s += 21) {
                 std::string rec = at(p, s, 21);
                 EXPECT_TRUE(denominationCode(rec.substr(0, 7))) << rec;
                 EXPECT_TRUE(digitsOnly(rec.substr(7)));
             }
         }},
        {"G0", '0', nullptr}, {"G1", '0', nullptr}, {"G4", '0', nullptr},
        {"G5", '8', nullptr}, // no feeder: a bare '8'
        {"G9", '0', nullptr}, {";", '0', nullptr}, {"<", '0', nullptr}, {">", '0', nullptr},
        {"L", '0', nullptr}, {"Z100", '0', nullptr}, {"Z200", '0', nullptr}, {"Z3", '0', nullptr},
        {"ZB", '0', nullptr}, {"Z80", '0', nullptr}, {"Z90", '0', nullptr}, {"Z5", '0', nullptr},
        {"RD/104", '0', nullptr}, {"RD/204", '0', nullptr}, {"RD/233", '0', nullptr}, {"RD/398", '0', nullptr},
        {"RD/201", '0', nullptr}, {"RD/395", '0', nullptr}, {"RD/206", '0', nullptr}, {"RD/100", '0', nullptr},
        {"RD/118", '0', nullptr}, {"RD/202", '0', nullptr}, {"RD/205", '0', nullptr}, {"RD/300", 'j', nullptr}, // nothing rejected yet: no data
        
        {"RD/301", '0', nullptr}, {"RD/311", '0', nullptr}, {"RD/311/1", '0', nullptr},
        {"RD/313", '0', nullptr}, {"RD/350", '0', nullptr}, {"RD/397", '0', nullptr},
        {"RD/110/0", '0', nullptr},
        {"RD/110/1", '0',
         [](const std::string& p) {
             ASSERT_EQ(p.size(), 1u + 4 * 18);
             EXPECT_EQ(at(p, 2, 4), "NFC1"); // NFC names are four characters wide
             EXPECT_EQ(at(p, 20, 4), "NFC2");
         }},
        {"RD/110/2", '0', nullptr}, {"RD/110/3", '0', nullptr}, {"RD/303", '0', nullptr},
        {"RD/334", '0', nullptr},
        {"RD/9128", '0', [](const std::string& p) { EXPECT_EQ(at(p, 2, 8), "NC000001"); }},
        {"RD/9127", '0', nullptr}, {"RD/9129", '0', nullptr}, {"RD/9028", '0', nullptr},
        {"RD/9528", 'P', nullptr}, // no cassette: class "software recoverable"
        {"RD/999", '8', nullptr}, {"WD/104/80", '0', nullptr}, {"WD/104/101", '>', nullptr},
        {"WD/104/0", '>', nullptr}, {"WD/233/0", '0', nullptr}, {"WD/201/3", '>', nullptr},
        {"WD/201/x", '>', nullptr}, {"WD/394/0", '0', nullptr}, {"WD/393/2", '0', nullptr},
        {"WD/393/3", '>', nullptr}, {"WD/217/1", '0', nullptr}, {"WD/218/3", '0', nullptr},
        {"WD/310/0", '0', nullptr}, {"WD/392/0", '0', nullptr}, {"WD/237/0", '0', nullptr},
        {"WD/250/0", '0', nullptr}, {"WD/999/1", '8', nullptr}, {"WD/104", '>', nullptr}, {"821", '0', nullptr},
        {"820", '0', nullptr}, {"721", '0', nullptr}, {"722", '0', nullptr}, {"851", ':', nullptr},
        {"801", '0', nullptr}, {"7", '0', nullptr}, {"8", '0', nullptr}, {"D00", '<', nullptr},
        {"D10", '<', nullptr}, {":", '0', nullptr},
        {"3", '8', nullptr}, // nothing to deliver
        {"4", '8', nullptr}, {"X", '8', nullptr}, {"Z7", '8', nullptr}, {"G", '8', nullptr},
        {"33", '8', nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::string reply = send(c.command);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[0], c.status) << reply;
        for (char ch : reply)
            EXPECT_TRUE(ch >= 0x20 && ch <= 0x7E && ch != '\r') << reply;
        if (c.check)
            c.check(reply.substr(1));
    }
}

TEST_F(Commands, DispenseAndMoveForwardReplyWithDeliveredCountAndRecords)
{
    sim.withCore([](SimCore& c) { c.config().takeNotesAfterMs = 0; });
    send("8");
    for (const char* cmd : {"1010053012", "2020024003"}) {
        SCOPED_TRACE(cmd);
        std::string r = send(cmd);
        ASSERT_EQ(r[0], '0');
        std::string expected = std::string(cmd) == "1010053012" ? "017" : "005";
        EXPECT_EQ(at(r, 4, 3), expected); // notes delivered at reply characters 4..6
        // Per-cassette records after that: digit, status, three-digit count.
        std::string recs = r.substr(6);
        ASSERT_EQ(recs.size(), 10u);
        EXPECT_EQ(recs[1], '0');
        // The last-status reply repeats them in 5-character records from position 2.
        std::string last = send("6");
        EXPECT_EQ(last.substr(1), recs);
    }
}

TEST_F(Commands, ProgramIdInLongAndShortForm)
{
    // id = r[3..6] "-" r[7..8] "." r[9..10] when the reply is longer than 8
    std::string r = send("A");
    ASSERT_GT(r.size(), 8u);
    EXPECT_EQ(at(r, 3, 4) + "-" + at(r, 7, 2) + "." + at(r, 9, 2), "2024-05.17");

    sim.withCore([](SimCore& c) { c.config().longProgramId = false; });
    r = send("A");
    ASSERT_LE(r.size(), 8u);
    EXPECT_EQ(at(r, 3, 2) + "-" + at(r, 5, 2) + "." + at(r, 7, 2), "24-05.17");
}

TEST_F(Commands, FeederSelfTestLongFormInExtendedMode)
{
    ASSERT_EQ(send("WD/214/1")[0], '0');
    std::string p = send("G2").substr(1);
    ASSERT_GT(p.size(), 28u);
    EXPECT_TRUE(digitsOnly(at(p, 12, 4)));
    EXPECT_TRUE(digitsOnly(at(p, 18, 6)));
    EXPECT_TRUE(denominationCode(at(p, 24, 7))) << p;
}

TEST_F(Commands, FramingRules)
{
    // A wrong checksum: status '7'.
    EXPECT_EQ(link.write("334\r"), simtest::framed("7"));
    // Too short to carry a checksum.
    EXPECT_EQ(link.write("3\r"), simtest::framed("7"));
    // Empty lines and line feeds are ignored.
    EXPECT_EQ(link.write("\r\n\r"), "");
    EXPECT_EQ(link.write("\n" + simtest::framed("0") + "\n"), simtest::framed("0"));
    // Non-printable bytes never produce a reply.
    EXPECT_EQ(link.write(std::string("\x01") + "33\r"), "");
    EXPECT_EQ(link.write("3\x80" "33\r"), "");
    // A frame split over several writes.
    EXPECT_EQ(link.write("3"), "");
    EXPECT_EQ(link.write("33"), "");
    EXPECT_EQ(link.write("\r"), simtest::framed("8"));
    // Two frames in one write.
    EXPECT_EQ(link.write(simtest::framed("0") + simtest::framed("X")),
              simtest::framed("0") + simtest::framed("8"));
    // Every frame is logged, also the bad ones.
    EXPECT_GE(sim.frameLog().size(), 8u);
}

} // namespace
