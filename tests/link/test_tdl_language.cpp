// The script language: the exact frame and time-out of every statement,
// parameter fall-backs, flags of the command layer, logging, dialogs.
#include "support_tdl_fixture.h"

#include <utility>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;
using platform::DlgResult;

class TdlLanguage : public TdlFixture {};

TEST_F(TdlLanguage, EveryStatementSendsItsFrameWithItsTimeOut)
{
    Answer("*", 1, '0', true); // a plain success for everything
    const std::string text = "RESET\n"
                             "DISPENSE 0 2 0 0 0 0 0 0\n"
                             "MOVE_FORWARD 0 0 7 0 0 0 0 0\n"
                             "DELIVER\n"
                             "REJECT\n"
                             "CHECK_THROAT\n"
                             "READ_CASS_NR\n"
                             "READ_CASS_ID\n"
                             "SHOW_CASSETTE_DLG\n"
                             "LIFTS_DOWN\n"
                             "LIFTS_UP\n"
                             "CLOSE_CASS\n"
                             "CLOSE_CASS 2\n"
                             "OPEN_CASS\n"
                             "OPEN_CASS 3\n"
                             "READ_PROGRAM_ID\n"
                             "STR_CMD Z6F\n"
                             "STR_CMD\n"
                             "POLL Q\n"
                             "SEND_SELFTESTDATA\n"
                             "SEND_SELFTESTDATA_NC 4\n"
                             "SEND_SELFTESTDATA_NC\n"
                             "CHANGE_TELLER 1\n"
                             "DISPENSE 5\n"
                             "MACHINE_TYPE KYD100\n"
                             "// a comment\n"
                             "% info\n"
                             "#\n"
                             "SAVE_FM_DATA_DB x\n"
                             "SAVE_DATA_END_DB\n"
                             "SAVE_FCDATA_END_DB\n"
                             "CLEAR_FEEDER_VECTOR\n"
                             "DELAY_MSEC 500\n"
                             "\n"
                             " RESET\n";
    EXPECT_EQ(RunText(text), 0);
    std::vector<std::pair<std::string, int>> want = {
        {"0", 180}, {"102002", 180}, {"203007", 180}, {"3", 180}, {"4", 180}, {":", 5}, {"5", 20},
        {"5", 20}, {"A", 5}, {"5", 20}, {"7", 180}, {"8", 180}, {"7", 180}, {"721", 180}, {"8", 180},
        {"831", 180}, {"A", 5}, {"Z6F", 180}, {"STR_CMD", 180}, {"Q", 180}, {"5", 20}, {"A", 5},
        {"G0", 20}, {"G1", 20}, {"G2", 20}, {"G3", 20}, {"G4", 20}, {"G5", 20}, {"G6", 20}, {"G7", 20},
        {"G8", 20}, {"G9", 20}, {"GA", 20}, {"G4", 20}, {"G1", 20}, {"11", 180}};
    // The last dispense: teller '1' and 5 notes from each of the eight.
    for (int n = 1; n <= 8; ++n)
        want.back().first += std::to_string(n) + "005";
    std::vector<std::pair<std::string, int>> actual;
    ASSERT_EQ(port->written.size(), port->packetTimeouts.size());
    for (std::size_t k = 0; k < port->written.size(); ++k) {
        std::string frame = port->written[k];
        ASSERT_GE(frame.size(), 3u);
        const std::string command = frame.substr(0, frame.size() - 3);
        EXPECT_EQ(frame, command + TCom::Checksum(command) + "\r");
        actual.emplace_back(command, (port->packetTimeouts[k] - 9) / 18);
    }
    EXPECT_EQ(actual, want);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(script->DispenseCounter(), 3);
    EXPECT_EQ(model.DispenseCount, 3);
    EXPECT_EQ(script->Teller(), '1');
    EXPECT_TRUE(model.Feeders().empty()); // CLEAR_FEEDER_VECTOR
    EXPECT_EQ(mainWindow.InfoTexts[0], "TDL-file: test.tdl");
    EXPECT_EQ(mainWindow.InfoCodings[0], platform::TextCoding::FileSystem); // names a file
    EXPECT_EQ(mainWindow.InfoCodings.back(), platform::TextCoding::Latin1);
    EXPECT_NE(std::find(mainWindow.InfoTexts.begin(), mainWindow.InfoTexts.end(), "info"), mainWindow.InfoTexts.end());
    EXPECT_NE(std::find(mainWindow.InfoTexts.begin(), mainWindow.InfoTexts.end(), "#0"), mainWindow.InfoTexts.end());
    EXPECT_EQ(mainWindow.InfoTexts.back(), "TDL-file done");
}

TEST_F(TdlLanguage, ParameterFallBacks)
{
    Answer("*", 1, '0', true);
    // A missing parameter is the line's last word: 5 for all eight; a
    // double blank makes the first parameter empty (0) and shifts the rest.
    EXPECT_EQ(RunText("MOVE_FORWARD 3\n"
                      "MOVE_FORWARD  4\n"
                      "CHECK_THROAT x\n"
                      "LOOP many\n"
                      "READ_CASS_NR\n"
                      "ENDLOOP\n"
                      "DISPENSE 0 0 0 0 0 0 0 0\n"
                      "DISPENSE\n"),
              0);
    std::string all3 = "20", rest4 = "20";
    for (int n = 1; n <= 8; ++n) {
        all3 += std::to_string(n) + "003";
        if (n >= 2)
            rest4 += std::to_string(n) + "004";
    }
    // No counts: nothing sent, though counted.
    EXPECT_EQ(Commands(), (std::vector<std::string>{all3, rest4, ":", "5"}));
    EXPECT_EQ(script->DispenseCounter(), 4);
}

TEST_F(TdlLanguage, BadCountsCassettesAndCommandTextsAreRefusedAndStopTheScript)
{
    // A control character in a command text would end or garble its frame;
    // a byte from 0x80 up does not fit the 7-bit line.
    for (const char* line : {"DISPENSE 1000", "MOVE_FORWARD 0 -1", "CLOSE_CASS 9", "OPEN_CASS 12",
                             "SEND_SELFTESTDATA_NC -2", "STR_CMD 333\rX", "POLL Q\x7f", "CHANGE_TELLER \t",
                             "STR_CMD 3\x80", "POLL \xc3\xa4", "CHANGE_TELLER \xff"}) {
        SCOPED_TRACE(line);
        ClearCommands();
        dialogs.clear();
        EXPECT_EQ(RunText(std::string("RESET\n") + line + "\nRESET\n"), -1);
        EXPECT_EQ(Commands(), std::vector<std::string>{"0"});
        const auto texts = Dialogs();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "3E Request Format Error\nLine 2: " + std::string(line));
        EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"File " + scriptPath + " aborted!"});
        EXPECT_TRUE(script->IsAborted());
    }
    // A negative cassette means all of them.
    ClearCommands();
    EXPECT_EQ(RunText("CLOSE_CASS -3\nOPEN_CASS -1\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"7", "8"}));
    // A self-test selector goes out in decimal, past 9 too.
    ClearCommands();
    RunText("SEND_SELFTESTDATA_NC 10\n");
    EXPECT_EQ(Commands(), (std::vector<std::string>{"G10"}));
}

TEST_F(TdlLanguage, CheckThroatRepeatsOnceASecondWhileNotesAreInTheThroat)
{
    // The simulator keeps notes in the throat for two checks.
    EXPECT_EQ(RunText("DISPENSE 0 2 0 0 0 0 0 0\nDELIVER\nCHECK_THROAT 5\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "3", ":", ":", ":"}));
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(TdlLanguage, CheckThroatSixtyAgainstNotesThatStayRunsOnFakeTime)
{
    Answer(":", 1, 'M', true);
    std::vector<std::int64_t> sentAt;
    port->onWrite = [&](const std::string&) { sentAt.push_back(clock.monotonicMs()); };
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("CHECK_THROAT 60\n"), 0);
    ASSERT_EQ(sentAt.size(), 60u);
    for (std::size_t k = 1; k < sentAt.size(); ++k) {
        EXPECT_GT(sentAt[k] - sentAt[k - 1], 0);
        EXPECT_LE(sentAt[k] - sentAt[k - 1], 1000 + 2 * kTickMs);
    }
    EXPECT_GE(sentAt.back() - sentAt.front(), 58'000);
    // Then the status check shows the last status.
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"4D Notes In Bundle Output Unit"});
}

TEST_F(TdlLanguage, CheckThroatStopsAtOnceOnAbort)
{
    Answer(":", 1, 'M', true);
    onTick = [&] {
        if (port->written.size() == 3 && !script->IsAborted())
            script->Abort();
    };
    EXPECT_EQ(RunText("CHECK_THROAT 60\nRESET\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":", ":", ":"}));
}

TEST_F(TdlLanguage, DelaysWaitWholeSecondsOnTheProcessClock)
{
    struct Case {
        const char* line;
        std::int64_t min, max;
    };
    for (const Case& c : {Case{"DELAY_SEC 10", 9000, 10'000 + kTickMs}, Case{"DELAY_SEC", 9000, 10'000 + kTickMs},
                          Case{"DELAY_MSEC 500", 0, 0}, Case{"DELAY_MSEC 1999", 1, 1000 + kTickMs},
                          Case{"DELAY_SEC 0", 0, 0}, Case{"DELAY_SEC -4", 0, 0},
                          Case{"DELAY_MSEC", 9000, 10'000 + kTickMs}}) {
        SCOPED_TRACE(c.line);
        const std::int64_t before = clock.monotonicMs();
        EXPECT_EQ(RunText(std::string(c.line) + "\n"), 0);
        const std::int64_t took = clock.monotonicMs() - before;
        EXPECT_GE(took, c.min);
        EXPECT_LE(took, c.max);
    }
}

TEST_F(TdlLanguage, AbortEndsADelayAtOnce)
{
    const std::int64_t start = clock.monotonicMs();
    onTick = [&] {
        if (clock.monotonicMs() - start >= 2000 && !script->IsAborted())
            script->Abort();
    };
    EXPECT_EQ(RunText("DELAY_SEC 3600\nRESET\n"), -1);
    EXPECT_LE(clock.monotonicMs() - start, 2000 + kTickMs);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(script->IsAborted());
    EXPECT_EQ(script->ResumeLine(), 0);
}

TEST_F(TdlLanguage, FailingStatusAsksAbortOrIgnore)
{
    // Ignore: the script goes on, but DELIVER and REJECT are skipped in the
    // rest of the range and raise no stale status.
    Answer("102002", 1, '6');
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("DISPENSE 0 2 0 0 0 0 0 0\nDELIVER\nREJECT\nRESET\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "0"}));
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});

    // Abort: the script ends aborted at that line.
    ClearCommands();
    dialogs.clear();
    Answer("0", 1, 'C');
    EXPECT_EQ(RunText("RESET\nRESET\n"), -1);
    EXPECT_EQ(Commands(), std::vector<std::string>{"0"});
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"43 Jam in Note Feeder Transport"});
    EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"File " + scriptPath + " aborted!"});
    EXPECT_EQ(mainWindow.InfoTexts.back(), "TDL-file aborted");
    EXPECT_EQ(script->ResumeLine(), 0);
}

TEST_F(TdlLanguage, AnAbortedScriptIsNamedAsTheFileSystemNamesIt)
{
    // The script's name is UTF-8 bytes; the dispenser's status text that
    // stopped it stays a Latin-1 message of its own.
    const std::string path = Write("pr\xC3\xBC" "fung.tdl", "RESET\nRESET\n");
    ASSERT_TRUE(script->Load(path));
    Answer("0", 1, 'C');
    EXPECT_EQ(script->Run(1), -1);
    bool named = false;
    for (const auto& c : dialogs.calls()) {
        if (c.kind == "showMessage") {
            EXPECT_EQ(c.text, "File " + path + " aborted!");
            EXPECT_EQ(c.coding, platform::TextCoding::FileSystem);
            named = true;
        } else {
            EXPECT_EQ(c.coding, platform::TextCoding::Latin1) << c.text;
        }
    }
    EXPECT_TRUE(named);

    // A log file the script names that cannot be created.
    dialogs.clear();
    const std::string log = (dir / "pr\xC3\xBC" "fung" / "x.log").string();
    EXPECT_EQ(RunText("LOGFILE " + log + "\n"), 0);
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].text.find(log), std::string::npos) << calls[0].text;
    EXPECT_EQ(calls[0].coding, platform::TextCoding::FileSystem);
}

TEST_F(TdlLanguage, PollIsNeverChecked)
{
    Answer("Q", 1, 'C');
    EXPECT_EQ(RunText("POLL Q\n"), 0);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(model.StatusClass, 199);
}

TEST_F(TdlLanguage, IllegalCommandAndRejectFlags)
{
    Answer("Z", 1, '8', true);
    Answer("X", 1, '4', true);
    dialogs.queueResult(DlgResult::Ignore);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("IGNORE_ILLEGAL_COMMAND\n"
                      "STR_CMD Z\n"     // warning
                      "STOP_IF_ILLEGAL_COMAND\n"
                      "STR_CMD Z\n"     // dialog 1
                      "IGNORE_ILLEGAL_COMAND\n"
                      "STR_CMD X\n"     // '4' is a warning by default
                      "SET_REJECT_MSG_ON\n"
                      "STR_CMD X\n"     // dialog 2
                      "SET_REJECT_MSG_OFF\n"
                      "STR_CMD X\n"
                      "STOP_IF_ILLEGAL_COMMAND\n"
                      "IGNORE_ILLEGAL_COMMAND\n"
                      "SET_REJECT_MSG_ON\n"),
              0);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"38 Illegal Command or Com. Sequence", "34 Rejected Notes"}));
    // A run that ends normally clears both flags.
    EXPECT_FALSE(cmd->IgnoreIllegal);
    EXPECT_FALSE(cmd->RejectIsError);

    // After an abort they stay until the script runs again.
    dialogs.clear();
    EXPECT_EQ(RunText("IGNORE_ILLEGAL_COMMAND\nSET_REJECT_MSG_ON\nbad\n"), -1);
    EXPECT_TRUE(cmd->IgnoreIllegal);
    EXPECT_TRUE(cmd->RejectIsError);
}

TEST_F(TdlLanguage, FlagsAreClearedBeforeARunAfterAnAbort)
{
    options.settings.ScriptFolder = dir.string() + "/";
    Answer("Z", 1, '8', true);
    for (int k = 0; k < 4; ++k)
        dialogs.queueResult(k % 2 == 0 ? DlgResult::Ignore : DlgResult::Abort);
    const std::string text = "STR_CMD Z\nIGNORE_ILLEGAL_COMMAND\nLOGFILE own.log\nbad\n";
    EXPECT_EQ(RunText(text), -1);
    EXPECT_TRUE(cmd->IgnoreIllegal);
    EXPECT_EQ(cmd->LogFileOverride, dir.string() + "/own.log");
    // The logging flag stays as the aborted script set it.
    EXPECT_TRUE(options.settings.LoggingEnabled);

    // Run again: the flags and the override are cleared first, so '8' is
    // an error again and the exchange goes to the options' log.
    EXPECT_EQ(script->Run(1), -1);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"38 Illegal Command or Com. Sequence", "Unknown TDL command: bad",
                                                   "38 Illegal Command or Com. Sequence", "Unknown TDL command: bad"}));
    EXPECT_NE(ReadFile(dir / "KYD.LOG").find("Out: Z"), std::string::npos);
}

TEST_F(TdlLanguage, UnknownStatements)
{
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("RESET\nreset\nENDLOOP\n"), -1);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"Unknown TDL command: reset", "Unknown TDL command: ENDLOOP"}));
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Warning);
    EXPECT_EQ(Commands(), std::vector<std::string>{"0"});
    const auto& st = mainWindow.StatusTexts;
    EXPECT_NE(std::find(st.begin(), st.end(), std::make_pair(std::string(), std::string("Line 2: Unknown TDL command: reset"))),
              st.end());

    // IGNORE_SYNTAX: shown only; a tab is an ordinary character.
    dialogs.clear();
    mainWindow.StatusTexts.clear();
    EXPECT_EQ(RunText("IGNORE_SYNTAX\nRESET\tnow\nRESET\n"), 0);
    EXPECT_TRUE(Dialogs().empty());
    ASSERT_FALSE(mainWindow.StatusTexts.empty());
    EXPECT_EQ(mainWindow.StatusTexts[0].second, "Line 2: Unknown TDL command: RESET\tnow");
    // Cleared for the next run.
    EXPECT_EQ(RunText("nope\n"), -1);
    EXPECT_EQ(Dialogs().size(), 1u);
}

TEST_F(TdlLanguage, AMegabyteOfGarbageGivesItsErrorsInShortTexts)
{
    // A first line of 300 KB without a blank, then bytes of every value.
    std::string garbage(300'000, 'x');
    std::uint32_t r = 12345;
    while (garbage.size() < 1'000'000) {
        r = r * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>(r >> 16));
    }
    EXPECT_EQ(RunText(garbage), -1);
    ASSERT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Dialogs()[0], "Unknown TDL command: " + std::string(512 - 21, 'x') + "...");
    EXPECT_EQ(mainWindow.StatusTexts.back().second.size(), 515u);

    // Shown only, every one of them.
    mainWindow.StatusTexts.clear();
    dialogs.clear();
    EXPECT_EQ(RunText("IGNORE_SYNTAX\n" + garbage), 0);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_GT(mainWindow.StatusTexts.size(), 2000u);
    for (const auto& [reply, text] : mainWindow.StatusTexts)
        EXPECT_LE(text.size(), 515u);
}

TEST_F(TdlLanguage, StopIfReply)
{
    // The reply field: status character first, checksum cut.
    Answer("Z1", 1, 'j');
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("RESET\n"
                      "STOP_IF_REPLY_NOT_EQUAL 0\n"
                      "STOP_IF_REPLY_EQUAL 0\n" // dialog, Ignore
                      "STR_CMD Z1\n"
                      "STOP_IF_REPLY_EQUAL 0\n"
                      "STOP_IF_REPLY_NOT_EQUAL 0\n" // dialog, Abort
                      "RESET\n"),
              -1);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"Reply is equal: 0", "Reply NOT equal: 0"}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "Z1"}));
}

TEST_F(TdlLanguage, MessagesInfoTextsAndTrace)
{
    EXPECT_EQ(RunText("SHOW_MESSAGE Hello  there\n"
                      "SHOW_MESSAGE\n"
                      "% step one\n"
                      "TRACE ON\n"
                      "LOOP 2\n"
                      "#\n"
                      "ENDLOOP\n"
                      "TRACE OFF\n"
                      "RESET\n"),
              0);
    EXPECT_EQ(Dialogs("showMessage"), (std::vector<std::string>{"Hello  there", "SHOW_MESSAGE"}));
    std::vector<std::string> traces;
    for (const auto& [reply, text] : mainWindow.StatusTexts)
        if (text.rfind("Line ", 0) == 0)
            traces.push_back(text);
    EXPECT_EQ(traces, (std::vector<std::string>{"Line 4: TRACE ON", "Line 5: LOOP 2", "Line 6: #", "Line 7: ENDLOOP",
                                                "Line 5: LOOP 2", "Line 6: #", "Line 7: ENDLOOP",
                                                "Line 8: TRACE OFF"}));
    EXPECT_FALSE(script->Trace());
    const auto& info = mainWindow.InfoTexts;
    EXPECT_NE(std::find(info.begin(), info.end(), "step one"), info.end());
    EXPECT_EQ(std::count(info.begin(), info.end(), "#1"), 1);
    EXPECT_EQ(std::count(info.begin(), info.end(), "#2"), 1);
}

TEST_F(TdlLanguage, TextsOfAUtf8ScriptAreShownAsUtf8AndLoggedAsTheyAre)
{
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    // Saved by a current editor, with a byte order mark before the first
    // statement.
    const std::string message = "m\xC3\xABssage \xE2\x82\xAC";
    EXPECT_EQ(RunText("\xEF\xBB\xBFSHOW_MESSAGE " + message + "\n% st\xC3\xBC" "ck\nLOG gr\xC3\xBC\xC3\x9F" "e\n"), 0);
    EXPECT_EQ(script->ScriptCoding(), platform::TextCoding::Utf8);
    auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u); // the first line is a statement, the mark is no part of it
    EXPECT_EQ(calls[0].kind, "showMessage");
    EXPECT_EQ(calls[0].text, message);
    EXPECT_EQ(calls[0].coding, platform::TextCoding::Utf8);
    const auto info = std::find(mainWindow.InfoTexts.begin(), mainWindow.InfoTexts.end(), "st\xC3\xBC" "ck");
    ASSERT_NE(info, mainWindow.InfoTexts.end());
    EXPECT_EQ(mainWindow.InfoCodings[static_cast<std::size_t>(info - mainWindow.InfoTexts.begin())],
              platform::TextCoding::Utf8);
    const auto status = std::find(mainWindow.StatusTexts.begin(), mainWindow.StatusTexts.end(),
                                  std::pair<std::string, std::string>("", "gr\xC3\xBC\xC3\x9F" "e"));
    ASSERT_NE(status, mainWindow.StatusTexts.end());
    EXPECT_EQ(mainWindow.StatusCodings[static_cast<std::size_t>(status - mainWindow.StatusTexts.begin())],
              platform::TextCoding::Utf8);
    // The log gets the bytes of the file.
    EXPECT_NE(ReadFile(dir / "KYD.LOG").find(">> gr\xC3\xBC\xC3\x9F" "e\n"), std::string::npos)
        << ReadFile(dir / "KYD.LOG");
    // A device's status text stays Latin-1, also in a UTF-8 script.
    dialogs.clear();
    Answer("0", 1, 'C');
    EXPECT_EQ(RunText("% \xC3\xBC\nRESET\n"), -1);
    calls = dialogs.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].coding, platform::TextCoding::Latin1) << calls[0].text;

    // Older tools saved Latin-1: a byte that cannot be UTF-8 makes the whole
    // file Latin-1.
    dialogs.clear();
    EXPECT_EQ(RunText("SHOW_MESSAGE m\xEBssage\nSHOW_MESSAGE \xC3\xBC\n"), 0);
    EXPECT_EQ(script->ScriptCoding(), platform::TextCoding::Latin1);
    calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, "m\xEBssage");
    EXPECT_EQ(calls[0].coding, platform::TextCoding::Latin1);
    EXPECT_EQ(calls[1].coding, platform::TextCoding::Latin1);

    // Forms that are not UTF-8: overlong, surrogate, beyond U+10FFFF, cut
    // short at the end of the file.
    for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
        EXPECT_EQ(RunText("SHOW_MESSAGE " + bad), 0);
        EXPECT_EQ(script->ScriptCoding(), platform::TextCoding::Latin1);
    }
}

TEST_F(TdlLanguage, AUtf8TextCutForShowingKeepsWholeCharacters)
{
    std::string text;
    for (int k = 0; k < 400; ++k)
        text += "\xC3\xAB"; // two bytes each
    text = "x" + text;      // the cut at 512 bytes falls inside a character
    EXPECT_EQ(RunText("SHOW_MESSAGE " + text + "\n"), 0);
    const auto calls = Dialogs("showMessage");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], text.substr(0, 511) + "...");
}

TEST_F(TdlLanguage, LogFileAndAnnotations)
{
    options.settings.ScriptFolder = dir.string() + "/";
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    const std::string absolute = (dir / "abs.log").string();
    EXPECT_EQ(RunText("LOG before\n"
                      "LOGFILE own.log\n"
                      "RESET\n"
                      "LOG in the middle\n"
                      "LOGFILE " + absolute + "\n"
                      "READ_CASS_NR\n"),
              0);
    // Stamps are "dd/mm/yyyy hh:mm:ss" of the moment of writing.
    const auto masked = [](std::string t) {
        for (std::size_t p = t.find("<<"); p != std::string::npos; p = t.find("<<", p + 1))
            t.replace(p + 2, 19, "STAMP");
        const std::string h = "script : ";
        for (std::size_t p = t.find(h); p != std::string::npos; p = t.find(h, p + 1))
            t.replace(p + h.size(), 19, "STAMP");
        return t;
    };
    // Before LOGFILE the annotation goes to the options' log (logging off).
    EXPECT_EQ(masked(ReadFile(dir / "KYD.LOG")), "// <<STAMP>> before\n");
    EXPECT_EQ(masked(ReadFile(dir / "own.log")), "Opened by TDL script : STAMP\n"
                                                 "Out: 030\n"
                                                 "In : 030\n"
                                                 "// <<STAMP>> in the middle\n");
    const std::string r = port->WithCore([](sim::SimCore& c) { return c.lastReply(); });
    EXPECT_EQ(masked(ReadFile(absolute)), "Opened by TDL script : STAMP\nOut: 535\nIn : " + r + TCom::Checksum(r) + "\n");
    const auto& info = mainWindow.InfoTexts;
    const auto logFile = std::find(info.begin(), info.end(), "Log-file: own.log");
    ASSERT_NE(logFile, info.end());
    EXPECT_EQ(mainWindow.InfoCodings.at(static_cast<std::size_t>(logFile - info.begin())),
              platform::TextCoding::FileSystem);
    // The run ended: logging as before, override gone.
    EXPECT_FALSE(options.settings.LoggingEnabled);
    EXPECT_TRUE(cmd->LogFileOverride.empty());
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(TdlLanguage, LogFileOnOffAndFailure)
{
    options.settings.ScriptFolder = dir.string() + "/";
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    EXPECT_EQ(RunText("LOGFILE ON\nRESET\nLOGFILE OFF\nRESET\nLOGFILE missing/x.log\nRESET\n"), 0);
    const std::string path = dir.string() + "/missing/x.log";
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"Log File " + path + "could not be created!"});
    // Logging was on again after the failed LOGFILE; the exchange went to
    // the options' log and opened no own file.
    EXPECT_EQ(ReadFile(dir / "KYD.LOG"), "Out: 030\nIn : 030\n"
                                         "Out: 030\nIn : 030\n");
    EXPECT_FALSE(fs::exists(dir / "OFF"));
    EXPECT_FALSE(options.settings.LoggingEnabled);

    // Logging switched in a loop body lasts to the end of the body.
    options.settings.LoggingEnabled = true;
    EXPECT_EQ(RunText("LOOP 1\nLOGFILE OFF\nENDLOOP\nRESET\n"), 0);
    EXPECT_EQ(ReadFile(dir / "KYD.LOG").size(), std::string("Out: 030\nIn : 030\n").size() * 3);
    EXPECT_TRUE(options.settings.LoggingEnabled);
}

TEST_F(TdlLanguage, ShowCassetteDialogReadsIdsAndShowsThem)
{
    std::vector<std::string> shown;
    script->ShowCassetteDialog = [&](Protokoll& m) {
        for (FeederData* f = m.FirstFeeder(); f; f = m.NextFeeder())
            shown.push_back(std::to_string(f->Number) + ":" + f->Id);
    };
    EXPECT_EQ(RunText("SHOW_CASSETTE_DLG\n"), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"5"});
    ASSERT_EQ(shown.size(), model.Feeders().size());
    EXPECT_FALSE(shown.empty());

    // A failed read shows nothing.
    shown.clear();
    Answer("5", 1, '0');
    EXPECT_EQ(RunText("SHOW_CASSETTE_DLG\n"), 0);
    EXPECT_TRUE(shown.empty());
}

TEST_F(TdlLanguage, SelfTestSequenceEndsAsAWarning)
{
    Answer("GA", 1, '6');
    EXPECT_EQ(RunText("SEND_SELFTESTDATA\n"), 0);
    EXPECT_EQ(Commands().size(), 13u);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(model.StatusClass, 195);

    // Unless a FATAL status was seen.
    ClearCommands();
    Answer("G5", 1, 'C');
    Answer("GA", 1, '6');
    EXPECT_EQ(RunText("SEND_SELFTESTDATA\n"), -1);
    EXPECT_EQ(model.FatalMark, 3);
    EXPECT_EQ(Commands().size(), 13u);
}

TEST_F(TdlLanguage, CrLfScript)
{
    EXPECT_EQ(RunText("RESET\r\nSTR_CMD Z6F\r\nLOOP 2\r\nREAD_CASS_NR\r\nENDLOOP\r\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "Z6F", "5", "5"}));
    EXPECT_EQ(script->Lines().size(), 5u);
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(TdlLanguage, ScriptBytesAreKeptAsTheyAre)
{
    // No character-set conversion; a last line without line feed counts.
    const std::string text = "% Gr\xfc\xdf" "e\nSHOW_MESSAGE caf\xe9";
    EXPECT_EQ(RunText(text), 0);
    EXPECT_EQ(script->Lines(), (std::vector<std::string>{"% Gr\xfc\xdf" "e", "SHOW_MESSAGE caf\xe9"}));
    EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"caf\xe9"});
}

} // namespace
} // namespace kyd::link::test
