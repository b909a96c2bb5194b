// The text-file line reader: random bytes, read from a stream or from a byte
// source that hands them over in random pieces, must come out as the lines a
// plain reference splitter finds (CR, LF or CR LF end a line; a Ctrl-Z as the
// last byte of a 4 KiB page ends the text).
#include "serial/SioMisc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ReferenceLines(std::string text)
{
    // The text ends before the first page (the last one may be short) whose
    // last byte is a Ctrl-Z.
    const std::size_t page = sio::TLineReader::kPageSize;
    for (std::size_t end = page; end < text.size() + page; end += page) {
        const std::size_t last = std::min(end, text.size()) - 1;
        if (static_cast<unsigned char>(text[last]) == 0x1A) {
            text.resize(last);
            break;
        }
    }
    std::vector<std::string> lines;
    std::string line;
    bool any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            any = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
            any = true;
        }
    }
    if (any)
        lines.push_back(line);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool fromStream = in.ConsumeBool();
    std::vector<std::size_t> pieces;
    for (int k = 0; k < 16; ++k)
        pieces.push_back(in.ConsumeIntegralInRange<std::size_t>(1, 5000));
    const std::string text = in.ConsumeRemainingBytesAsString();

    std::unique_ptr<sio::TLineReader> reader;
    if (fromStream) {
        reader = std::make_unique<sio::TLineReader>(std::make_unique<std::istringstream>(text));
        if (reader->StreamSize() != static_cast<std::int64_t>(text.size()))
            std::abort();
    } else {
        auto pos = std::make_shared<std::size_t>(0);
        auto call = std::make_shared<std::size_t>(0);
        reader = std::make_unique<sio::TLineReader>([text, pos, call, pieces](std::uint8_t* buf, std::size_t n) {
            const std::size_t want = std::min({n, pieces[(*call)++ % pieces.size()], text.size() - *pos});
            std::copy_n(text.data() + *pos, want, buf);
            *pos += want;
            return want;
        });
    }

    const std::vector<std::string> expected = ReferenceLines(text);
    std::string line;
    std::size_t n = 0;
    while (reader->NextLine(line)) {
        if (n >= expected.size() || line != expected[n])
            std::abort();
        ++n;
    }
    if (n != expected.size() || !reader->Eof() || reader->NextLine(line) || !line.empty())
        std::abort();
    if (reader->BytesRead() > static_cast<std::int64_t>(text.size()))
        std::abort();
    return 0;
}
