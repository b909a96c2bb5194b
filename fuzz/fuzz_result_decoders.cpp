// The result windows' and diagnostic pages' decoders: each input picks
// decoders and feeds them random payloads (and random feeder lists), as
// replies of any shape would reach them. Besides crashes and undefined
// behaviour it checks what the windows rely on: a decoder that reports
// success returns rows of the expected number and shape, pages keep their
// rows, and a parsed denomination reads back the same.
#include <algorithm>
#include "app/CassetteItems.h"
#include "app/ConfigItems.h"
#include "app/Denomination.h"
#include "app/DispenserStatus.h"
#include "app/ResultDecoders.h"
#include "app/SelfTestData.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>
#include <vector>

namespace {

using namespace kyd::app;

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Records of width w starting at position 2 (counted from 1), as the
// read-data decoders walk them.
std::size_t Records(const std::string& d, std::size_t w)
{
    return d.size() > 2 ? (d.size() - 2 + w - 1) / w : 0;
}

kyd::link::FeederList Feeders(FuzzedDataProvider& in)
{
    kyd::link::FeederList list;
    const int n = in.ConsumeIntegralInRange<int>(0, 10);
    for (int i = 0; i < n; ++i) {
        auto f = std::make_unique<kyd::link::FeederData>();
        f->Number = in.ConsumeIntegralInRange<int>(-1, 10);
        f->Status = in.ConsumeRandomLengthString(20);
        f->Id = in.ConsumeRandomLengthString(10);
        f->Count = in.ConsumeIntegral<int>();
        f->Width = in.ConsumeIntegral<int>();
        list.push_back(std::move(f));
    }
    return list;
}

void CheckDenomination(const std::string& s)
{
    TDenomination d(s);
    if (!d.Valid)
        return;
    Require(d.Currency.size() == 3 && d.Value >= 0, "denomination fields");
    // The other form reads back as the same currency; a code gives the text
    // that names exactly its value. Not read back, and only shown: the text
    // of a code with a blank variant (it ends in two blanks) and of values
    // from 10^10 (the text form holds ten digits at most).
    const bool blankVariant = d.Code.size() == 7 && d.Variant == ' ';
    if (d.Code.size() >= 6 && !std::isspace(static_cast<unsigned char>(s[3])) && !blankVariant &&
        d.Value < 10'000'000'000) {
        TDenomination text(d.Text);
        if (!(text.Valid && text.Value == d.Value && text.Currency == d.Currency))
            std::fprintf(stderr, "code [%s] text [%s]\n", s.c_str(), d.Text.c_str());
        Require(text.Valid && text.Value == d.Value && text.Currency == d.Currency, "code -> text -> value");
    }
}

void SensorPageShape(const SensorPage& page, std::size_t rows)
{
    Require(page.Rows.size() == rows, "sensor page rows");
    for (const SensorRow& r : page.Rows)
        Require(r.Image >= kNoImage && r.Image <= 4, "sensor image");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    for (int n = 0; n < 16 && in.remaining_bytes() > 0; ++n) {
        const int which = in.ConsumeIntegralInRange<int>(0, 15);
        const std::string p = in.ConsumeRandomLengthString(400);
        switch (which) {
        case 0: {
            const auto feeders = Feeders(in);
            std::vector<LastStatusRow> rows;
            if (DecodeLastStatus(feeders, rows))
                Require(rows.size() == feeders.size(), "last status rows");
            std::vector<GridRow> grid;
            DecodeCassetteList(feeders, grid);
            Require(grid.size() == feeders.size() + 1 && grid[0][0] == "No", "cassette list rows");
            break;
        }
        case 1: {
            std::vector<std::string> lines;
            DecodeRejectTrace(p, lines);
            Require(lines.size() <= std::max<std::size_t>(p.size(), 1) && (lines.empty() == p.empty()),
                    "reject trace lines");
            break;
        }
        case 2: {
            std::vector<GridRow> rows;
            if (DecodeNoteSizes(p, rows))
                Require(rows.size() == Records(p, 13) + 1, "note size rows");
            break;
        }
        case 3: {
            std::vector<std::string> lines;
            if (DecodeProgramIds(p, lines))
                Require(lines.size() <= Records(p, 11), "program id lines");
            break;
        }
        case 4: {
            std::vector<std::string> lines;
            if (DecodeCurrencyCodes(p, lines))
                Require(lines.size() <= Records(p, 3), "currency lines");
            break;
        }
        case 5: {
            std::vector<std::string> lines;
            const TableKind kind = in.ConsumeBool() ? TableKind::Reject : TableKind::Status;
            if (DecodeTable(p, kind, in.ConsumeIntegralInRange<int>(-1000, 1000), lines))
                Require(lines.size() == Records(p, 5), "table lines");
            break;
        }
        case 6: {
            for (const NoteCounterRow& r : NoteCounterRows())
                if (r.Description)
                    Require(!NoteCounterLine(r.Item, p, r.Description).empty(), "counter line");
            const int width = in.ConsumeIntegralInRange<int>(-3, 10);
            Require(IntegerItemText(p, width).size() <= 6 && IntegerItemMask(width).size() >= 1, "item text");
            (void)QtInputMask(p);
            (void)CorruptedReplyText(p);
            break;
        }
        case 7: {
            NoteQualifierPage page;
            DecodeNoteQualifier(p, page);
            Require(page.Denominations.size() <= p.size(), "note qualifier rows");
            break;
        }
        case 8: {
            FeederPage page = NewFeederPage();
            const std::size_t rows = page.Rows.size();
            DecodeFeeder(p, page);
            if (in.ConsumeBool())
                BlankFeeder(page);
            Require(page.Rows.size() == rows, "feeder page rows");
            break;
        }
        case 9: {
            SensorPage page = NewStackPresenterPage();
            const std::size_t rows = page.Rows.size();
            DecodeStackPresenter(p, page);
            SensorPageShape(page, rows);
            break;
        }
        case 10: {
            SensorPage page = NewNoteTransportPage();
            const std::size_t rows = page.Rows.size();
            DecodeNoteTransport(p, page);
            SensorPageShape(page, rows);
            break;
        }
        case 11: {
            StatusCheck check;
            const bool ok = DecodeStatusCheck(p, check);
            Require(check.Hoppers.size() <= 9, "status check hoppers");
            if (ok && p.size() >= 104)
                for (const auto& t : check.Tasks)
                    Require(t.Task != nullptr, "status check tasks");
            (void)DispenserStatusText(in.ConsumeIntegral<int>());
            (void)DispenserStatusText(in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>());
            break;
        }
        case 12: {
            const int item = in.ConsumeIntegralInRange<int>(-1, 1000);
            (void)ItemMessage(item, p);
            (void)FindConfigItem(item);
            Require(ItemValueWritable(p) == (!p.empty() && p.find_first_not_of("0123456789") == std::string::npos),
                    "writable value");
            break;
        }
        case 13: CheckDenomination(p); break;
        case 14: {
            std::string error, out;
            TDenomination d;
            const std::string value = in.ConsumeRandomLengthString(16);
            const std::string variant = in.ConsumeRandomLengthString(4);
            if (ComposeDenomination(p, value, variant, d, error)) {
                // What is written reads back as the value the operator gave.
                const TDenomination stored(d.Code);
                Require(d.Valid && stored.Valid && stored.Value == d.Value, "composed denomination");
            }
            std::string id;
            if (CassetteIdText(p, id, error))
                Require(id.size() == 8 && id.compare(0, p.size(), p) == 0 && id[7] != ' ', "cassette id");
            if (NoteSizeText(value, variant, out, error))
                Require(out.size() == 6, "note size text");
            break;
        }
        case 15: {
            SensorRow row;
            SetSensorState(row, p.empty() ? '\0' : p[0], in.ConsumeBool(), in.ConsumeBool() ? "zero" : nullptr,
                           in.ConsumeBool() ? "one" : nullptr);
            Require(row.Image >= kNoImage && row.Image <= 4, "sensor state image");
            (void)SensorStateText(in.ConsumeIntegral<int>());
            (void)SelfTestCommand(in.ConsumeIntegralInRange<int>(-2, 12));
            break;
        }
        }
    }
    return 0;
}
