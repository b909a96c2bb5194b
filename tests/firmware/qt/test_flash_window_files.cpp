// Files the firmware downloader must refuse at Start, before anything is
// sent to the board (nothing erased, selected or identified), and Esc
// during a run.
#include "support_flash_window.h"

#include "sim/hex_record.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace kyd::firmware::test {
namespace {

const std::string kEnd = ":00000001FF";

class FlashWindowFiles : public FlashWindowFixture {
protected:
    void SetUp() override { ASSERT_TRUE(ConnectWindow()); }

    // Starts the CMC (or NFC 2) with the file; true when Start refused it
    // with the file's fault and the board heard nothing of it.
    // A path that is no regular file is asked for again at Start, and
    // chosen again.
    void ExpectRefusedUnsent(const std::string& path, const std::string& fault, bool nfc = false)
    {
        Check(nfc ? window->NFCChkBox[1] : window->CMCChkBox, true);
        ChooseFile(path);
        sim.withCore([](sim::BootCore& c) { c.clearEvents(); });
        dialogs.clear();
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            dialogs.queueFile(path);
        Start();
        const auto m = Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_NE(m[0].text.find(fault), std::string::npos) << m[0].text;
        EXPECT_FALSE(window->Running());
        sim.withCore([](sim::BootCore& c) {
            EXPECT_TRUE(c.events().empty()) << c.events().front();
            EXPECT_EQ(c.erases(), 0);
            EXPECT_EQ(c.recordsReceived(), 0);
            return 0;
        });
    }
    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

TEST_F(FlashWindowFiles, EveryKindOfBadFileIsRefusedBeforeAnythingIsSent)
{
    const std::string data = sim::HexRecord(0x00, 0x0100, {1, 2, 3, 4});
    std::string zz = data;
    zz.replace(9, 2, "ZZ");
    std::string g0 = data;
    g0.replace(9, 2, "G0");
    // Two wrong record checksums that cancel in the whole-file sum.
    std::string up = sim::HexRecord(0x00, 0x0200, {5});
    std::string down = sim::HexRecord(0x00, 0x0300, {6});
    up.back() = static_cast<char>(up.back() + 1);
    down.back() = static_cast<char>(down.back() - 1);
    const struct {
        std::vector<std::string> lines;
        std::string fault;
        bool nfc = false;
    } cases[] = {
        {{zz, kEnd}, "line 1: 'Z' is not a hex digit"},
        {{g0, kEnd}, "line 1: 'G' is not a hex digit"},
        {{up, down, kEnd}, "line 1: the record's checksum is wrong"},
        {{data, sim::HexRecord(0x07, 0, {1}), kEnd}, "line 2: record type 07 is unknown"},
        {{";" + data.substr(1), kEnd}, "line 1 does not start with ':'"},
        {{data, "X" + data.substr(1), kEnd}, "line 2 does not start with ':'"},
        {{data, sim::HexRecord(0x00, 0x0103, {9}), kEnd}, "line 2: data at address 00103 overlaps the data of line 1"},
        // Beyond the largest flash a CMC can have, and beyond the bound an
        // NFC's image is held to (its flash size is not reported).
        {{sim::HexRecord(0x04, 0, {0x00, 0x10}), sim::HexRecord(0x00, 0, {1}), kEnd},
         "line 2: data up to address 100000 lies beyond the flash of 1024 KiB"},
        {{sim::HexRecord(0x04, 0, {0x00, 0x10}), sim::HexRecord(0x00, 0, {1}), kEnd},
         "line 2: data up to address 100000 lies beyond the flash of 1024 KiB", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        std::string text;
        for (const std::string& l : c.lines)
            text += l + "\r\n";
        ExpectRefusedUnsent(Write((c.nfc ? "2006_" : "cmc_") + std::to_string(n++) + ".hex", text), c.fault, c.nfc);
    }
}

TEST_F(FlashWindowFiles, TheRefusalNamesTheFileAsTheFileSystemDoes)
{
    // Names in the file system's encoding (UTF-8): the box reads them as
    // such, not byte by byte as Latin-1.
    std::string zz = sim::HexRecord(0x00, 0x0100, {1, 2, 3, 4});
    zz.replace(9, 2, "ZZ");
    const std::string bad = Write("cmc_pr\xC3\xBC" "fung.hex", zz + "\r\n" + kEnd + "\r\n");
    const std::string fifo = dir + "/cmc_pr\xC3\xBC" "fung_fifo.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {bad, fifo}) {
        SCOPED_TRACE(path);
        Check(window->CMCChkBox, true);
        ChooseFile(path);
        dialogs.clear();
        if (path == fifo)
            dialogs.queueFile(path); // no regular file: asked for again
        Start();
        const auto m = Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_NE(m[0].text.find(path), std::string::npos) << m[0].text;
        EXPECT_EQ(m[0].coding, platform::TextCoding::FileSystem);
        EXPECT_FALSE(window->Running());
    }
}

TEST_F(FlashWindowFiles, DataBeyondTheIdentifiedChipIsRefusedBeforeTheErase)
{
    // The simulated CMC has a 512 KiB chip; the file fits 1 MiB only. The
    // chip is identified (which changes nothing), then the run ends.
    const std::string path = Write("cmc_big.hex", sim::HexRecord(0x04, 0, {0x00, 0x08}) + "\r\n" +
                                                      sim::HexRecord(0x00, 0, {1}) + "\r\n" + kEnd + "\r\n");
    Check(window->CMCChkBox, true);
    ChooseFile(path);
    dialogs.clear();
    Start();
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), 0);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.recordsReceived(); }), 0);
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().text.find(LoaderErrorText(leHexFileError)), std::string::npos) << Messages().back().text;
    // The reason, with the chip and its size.
    const std::string reason = "line 2: data up to address 80000 lies beyond the flash of the Am29F400B (512 KiB)";
    EXPECT_NE(Messages().back().text.find(reason), std::string::npos) << Messages().back().text;
    EXPECT_NE(window->Memo1->toPlainText().toStdString().find(reason), std::string::npos);

    // The chip is known now: the next Start refuses the file at once, for
    // the same reason.
    ExpectRefusedUnsent(path, reason);
}

TEST_F(FlashWindowFiles, FilesWithNoDataBytesOrMoreAfterTheEndRecordAreRefusedUnsent)
{
    const std::vector<std::string> image = MakeHexFile(0x100, 64, 16, 3);
    std::string first;
    for (const std::string& l : image)
        first += l + "\r\n";
    const std::size_t end = image.size(); // the end record's line
    const std::string after = "line " + std::to_string(end + 1) + " follows the end record of line " +
                              std::to_string(end) + " (nothing but white space may)";
    const struct {
        std::string text;
        std::string fault;
        bool nfc = false;
    } cases[] = {
        {":00010000FF\r\n" + kEnd + "\r\n", "no data records"},
        {":00010000FF\r\n" + kEnd + "\r\n", "no data records", true},
        {first + first, after}, // two files concatenated
        {first + "ZZ\r\n", after},
        {first + ":00\r\n", after},
        {first + "; comment\r\n", after},
        {first + "END\r\n", after, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ExpectRefusedUnsent(Write((c.nfc ? "2006_" : "cmc_") + std::to_string(n++) + ".hex", c.text), c.fault, c.nfc);
    }
}

TEST_F(FlashWindowFiles, CrOnlyLineEndsAndTrailingBlanksAreFlashedByteExact)
{
    // One file with CR alone after every line, one with blanks and tabs
    // before CR LF; each with its own bytes.
    for (unsigned seed : {7u, 8u}) {
        SCOPED_TRACE(seed);
        const std::vector<std::string> image = MakeHexFile(0x200, 1000, 16, seed);
        std::string text;
        for (std::size_t i = 0; i < image.size(); ++i)
            text += seed == 7 ? image[i] + "\r" : image[i] + (i % 3 == 0 ? " " : i % 3 == 1 ? "\t" : " \t ") + "\r\n";
        Check(window->CMCChkBox, true);
        ChooseFile(Write("cmc_ends_" + std::to_string(seed) + ".hex", text));
        dialogs.clear();
        Start();
        EXPECT_TRUE(Messages().empty()) << Messages().front().text;
        EXPECT_EQ(window->LabelProgress->text(), "Done");
        EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), static_cast<int>(seed) - 6);
        const std::vector<std::uint8_t> flash = Image(0);
        ASSERT_GE(flash.size(), 0x200u + 1000);
        for (std::size_t i = 0; i < 1000; ++i)
            ASSERT_EQ(flash[0x200 + i], PatternByte(i, seed)) << i;
    }
}

TEST_F(FlashWindowFiles, OversizedFifoAndFolderAreRefusedBeforeBeingRead)
{
    // A file larger than any image's text: refused from its size alone.
    const std::string big = dir + "/cmc_huge.hex";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(kMaxHexFileBytes));
        out.put('\n');
    }
    ExpectRefusedUnsent(big, "larger than 16 MB");
    const std::string fifo = dir + "/cmc_fifo.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefusedUnsent(fifo, "not a regular file");
}

TEST_F(FlashWindowFiles, AByteOrderMarkBeforeTheFirstRecordIsSkipped)
{
    std::string text = "\xEF\xBB\xBF";
    for (const std::string& l : MakeHexFile(0x100, 64, 16, 3))
        text += l + "\r\n";
    Check(window->CMCChkBox, true);
    ChooseFile(Write("cmc_bom.hex", text));
    dialogs.clear();
    Start();
    EXPECT_TRUE(Messages().empty()) << Messages().front().text;
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), 1);
    EXPECT_EQ(Image(0)[0x100], PatternByte(0, 3));
}

// Esc while the CMC is being flashed changes nothing: the run goes on to
// the end, and the window stays open.
TEST_F(FlashWindowFiles, EscDuringARunDoesNothing)
{
    const std::vector<std::string> file = MakeHexFile(0x100, 320, 16, 5);
    Check(window->CMCChkBox, true);
    ChooseFile(WriteHex("cmc.hex", file));
    bool escapedWhileRunning = false;
    OnEvent("record 3", [this, &escapedWhileRunning] {
        escapedWhileRunning = window->Running();
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &esc);
    });
    dialogs.clear();
    Start();
    QCoreApplication::processEvents();
    EXPECT_TRUE(escapedWhileRunning);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(terminated, 0);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.recordsReceived(); }), static_cast<int>(file.size()));
    EXPECT_EQ(window->LabelProgress->text(), "Done");
    EXPECT_TRUE(Messages().empty());
    // Not running, Esc closes the window as before.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &esc);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
}

} // namespace
} // namespace kyd::firmware::test
