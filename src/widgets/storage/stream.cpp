#include "widgets/storage/stream.h"

#include "widgets/storage/lzrw.h"

#include "platform/safe_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace kyd::widgets {

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    if (Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    const std::size_t n = pos_ >= data_.size() ? 0 : std::min(count, data_.size() - pos_);
    if (n > 0)
        std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0)
        return;
    if (pos_ + count > data_.size())
        data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
}

void TMemoryStream::SetPosition(std::int64_t pos)
{
    if (pos < 0 || pos > Size())
        throw EStreamError("Stream position out of range");
    pos_ = static_cast<std::size_t>(pos);
}

std::vector<std::uint8_t> TMemoryStream::TakeBytes()
{
    pos_ = 0;
    return std::exchange(data_, {});
}

void TMemoryStream::Clear()
{
    data_.clear();
    pos_ = 0;
}

namespace {
EFOpenError CannotOpen(const std::string& name, const std::string& why)
{
    return EFOpenError("Cannot open file \"" + name + "\". " + why);
}
} // namespace

TFileStream::TFileStream(const std::string& name, Mode mode) : name_(name)
{
    using platform::FileAccess;
    const FileAccess how = mode == fmOpenRead ? FileAccess::Read
                           : mode == fmCreate ? FileAccess::Create
                                              : FileAccess::ReadWrite;
    std::string reason;
    file_ = platform::openRegularFile(name, how, &reason);
    if (!file_) {
        // The reason comes as "<name>: <why>".
        std::string why = reason.substr(std::min(reason.size(), name.size() + 2));
        if (!why.empty())
            why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
        throw CannotOpen(name, why);
    }
}

void TFileStream::CheckSize(std::int64_t maxSize) const
{
    if (Size() > maxSize)
        throw CannotOpen(name_, "Larger than " + std::to_string(maxSize >> 20) + " MB");
}

TFileStream::~TFileStream()
{
    if (file_)
        std::fclose(file_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    return count == 0 ? 0 : std::fread(buffer, 1, count, file_);
}

void TFileStream::Write(const void* buffer, std::size_t count)
{
    if (count != 0 && std::fwrite(buffer, 1, count, file_) != count)
        throw EWriteError("Stream write error on \"" + name_ + "\"");
}

std::int64_t TFileStream::Position() const { return std::ftell(file_); }

void TFileStream::SetPosition(std::int64_t pos)
{
    if (pos < 0 || pos > Size() || std::fseek(file_, static_cast<long>(pos), SEEK_SET) != 0)
        throw EStreamError("Stream position out of range");
}

std::int64_t TFileStream::Size() const
{
    const long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end;
}

void DUDSaveFile(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    int err = 0;
    if (!platform::replaceFile(name, bytes.data(), bytes.size(), nullptr, &err))
        throw EWriteError("Stream write error on \"" + name + "\": " + std::strerror(err));
}

std::vector<std::uint8_t> DUDLoadFile(const std::string& name)
{
    TFileStream f(name, TFileStream::fmOpenRead);
    f.CheckSize(kDUDMaxFileSize);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f.Size()));
    f.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

namespace {
thread_local TDUDReadBudget* t_budget = nullptr;
}

TDUDReadBudget::TDUDReadBudget(std::int64_t bytes) : left_(bytes), outer_(t_budget)
{
    t_budget = this;
}

TDUDReadBudget::~TDUDReadBudget() { t_budget = outer_; }

void TDUDReadBudget::Charge(std::int64_t bytes)
{
    for (TDUDReadBudget* b = t_budget; b; b = b->outer_) {
        if (bytes > b->left_)
            throw EReadError("Stream read error: the data expand beyond the allowed size");
        b->left_ -= bytes;
    }
}

void TDUDReadBudget::Release(std::int64_t bytes)
{
    for (TDUDReadBudget* b = t_budget; b; b = b->outer_)
        b->left_ += bytes;
}

std::int64_t TDUDReadBudget::Left()
{
    std::int64_t left = std::numeric_limits<std::int64_t>::max();
    for (const TDUDReadBudget* b = t_budget; b; b = b->outer_)
        left = std::min(left, b->left_);
    return left;
}

std::string StringListText(const TStringList& list)
{
    std::string text;
    for (const auto& line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

namespace {

// Calls line(start, length) for each line of the text, in order, while it
// returns true.
template <class F>
void ForEachLine(std::string_view text, F line)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            line(i, text.size() - i);
            break;
        }
        if (!line(i, end - i))
            break;
        i = end + 1;
        if (text[end] == '\r' && i < text.size() && text[i] == '\n')
            ++i;
    }
}

} // namespace

TStringList StringListFromText(std::string_view text)
{
    std::size_t count = 0;
    ForEachLine(text, [&](std::size_t, std::size_t) { return ++count, true; });
    TStringList list;
    list.reserve(count);
    ForEachLine(text, [&](std::size_t at, std::size_t n) { return list.emplace_back(text.substr(at, n)), true; });
    return list;
}

std::int64_t DUDStringHeapBytes(std::size_t n)
{
    static const std::size_t inside = std::string().capacity();
    return n <= inside ? 0 : DUDHeapBytes(static_cast<std::int64_t>(n) + 1);
}

namespace {

// DUDStringListHeldBytes(text), or as soon as the lines pass `most` bytes
// some figure above it.
std::int64_t HeldBytesUpTo(std::string_view text, std::int64_t most)
{
    std::int64_t count = 0, lines = 0;
    constexpr auto object = static_cast<std::int64_t>(sizeof(std::string));
    ForEachLine(text, [&](std::size_t, std::size_t n) {
        ++count;
        lines += DUDStringHeapBytes(n);
        return count * object + lines <= most;
    });
    return DUDHeapBytes(count * object) + lines;
}

} // namespace

std::int64_t DUDStringListHeldBytes(std::string_view text)
{
    return HeldBytesUpTo(text, std::numeric_limits<std::int64_t>::max());
}

std::int64_t DUDStringListHeldBytes(const TStringList& list)
{
    // A line holding a line end reads back as more than one line: worked
    // out from the text as it is stored then.
    if (std::any_of(list.begin(), list.end(),
                    [](const std::string& l) { return l.find_first_of("\r\n") != std::string::npos; }))
        return DUDStringListHeldBytes(StringListText(list));
    std::int64_t lines = 0;
    for (const auto& l : list)
        lines += DUDStringHeapBytes(l.size());
    return DUDHeapBytes(static_cast<std::int64_t>(list.size() * sizeof(std::string))) + lines;
}

namespace {
template <class T>
void WriteLE(TStream& s, T v)
{
    std::uint8_t b[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        b[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
    s.WriteBuffer(b, sizeof(T));
}

template <class T>
T ReadLE(TStream& s)
{
    std::uint8_t b[sizeof(T)];
    s.ReadBuffer(b, sizeof(T));
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    return static_cast<T>(v);
}

// A count read from the stream: EReadError unless 0 <= n <= the bytes left.
std::size_t CheckedCount(TStream& s, std::int64_t n)
{
    if (n < 0 || n > s.Remaining())
        throw EReadError("Stream read error: a length runs past the end of the data");
    return static_cast<std::size_t>(n);
}
} // namespace

void stWriteInteger(TStream& s, std::int32_t v) { WriteLE<std::uint32_t>(s, static_cast<std::uint32_t>(v)); }
void stWriteWord(TStream& s, std::uint16_t v) { WriteLE(s, v); }
void stWriteByte(TStream& s, std::uint8_t v) { WriteLE(s, v); }

void stWriteString(TStream& s, const std::string& v)
{
    const std::size_t n = std::min<std::size_t>(v.size(), 255);
    stWriteByte(s, static_cast<std::uint8_t>(n));
    s.WriteBuffer(v.data(), n);
}

std::int32_t stReadInteger(TStream& s) { return static_cast<std::int32_t>(ReadLE<std::uint32_t>(s)); }
std::uint16_t stReadWord(TStream& s) { return ReadLE<std::uint16_t>(s); }
std::uint8_t stReadByte(TStream& s) { return ReadLE<std::uint8_t>(s); }

std::string stReadString(TStream& s)
{
    const std::size_t n = CheckedCount(s, stReadByte(s));
    std::string v(n, '\0');
    s.ReadBuffer(v.data(), n);
    return v;
}

std::int64_t SaveCompressedStream(TStream& source, TStream& dest, std::int64_t count)
{
    const std::int64_t start = dest.Position();
    stWriteInteger(dest, 0);
    std::vector<std::uint8_t> in(kLZRWBlockSize);
    std::vector<std::uint8_t> out(DUDLZRWDestSize(kLZRWBlockSize));
    std::int64_t total = 0;
    std::int64_t taken = 0;
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count, kLZRWBlockSize));
        const std::size_t got = source.Read(in.data(), want);
        if (got == 0)
            break; // the source has run dry
        const std::int32_t n = DUDLZRWCompress(in.data(), out.data(), static_cast<std::int32_t>(got));
        total += 4 + n;
        if (total > std::numeric_limits<std::int32_t>::max())
            throw EWriteError("Compressed stream too large");
        stWriteInteger(dest, n);
        dest.WriteBuffer(out.data(), static_cast<std::size_t>(n));
        count -= static_cast<std::int64_t>(got);
        taken += static_cast<std::int64_t>(got);
    }
    const std::int64_t end = dest.Position();
    dest.SetPosition(start);
    stWriteInteger(dest, static_cast<std::int32_t>(total));
    dest.SetPosition(end);
    return taken;
}

namespace {
// The most the blocks of a compressed stream of `total` bytes after its
// total can expand to, from their lengths alone (a walk over the block
// headers that stops at the first one that does not fit, where the
// expansion stops too); the source is left where it was.
std::int64_t ExpansionBound(TStream& source, std::int64_t total)
{
    const std::int64_t at = source.Position();
    std::int64_t bound = 0;
    while (total >= 4) {
        const std::int32_t c = stReadInteger(source);
        total -= 4;
        if (c < 1 || c > kLZRWMaxBlock || c > total)
            break;
        bound += DUDLZRWMaxExpansion(c);
        total -= c;
        source.SetPosition(source.Position() + c);
    }
    source.SetPosition(at);
    return bound;
}

// Expands one compressed stream from source and appends it to out; on
// failure out is cut back to what it was and EReadError is raised.
void ExpandInto(TStream& source, std::vector<std::uint8_t>& out, std::int64_t maxExpanded)
{
    const std::size_t start = out.size();
    try {
        std::int64_t total = stReadInteger(source);
        CheckedCount(source, total);
        // Room for all the stream may expand to, as far as its bounds
        // allow, and the block being expanded, taken at once: a large
        // stream grown by doubling would hold its old and new buffers
        // together, half again as much as it expands to.
        const std::int64_t room =
            std::min(ExpansionBound(source, total), std::min(maxExpanded, TDUDReadBudget::Left())) + kLZRWBlockSize;
        out.reserve(start + static_cast<std::size_t>(room));
        std::vector<std::uint8_t> block(kLZRWMaxBlock);
        while (total > 0) {
            if (total < 4)
                throw EReadError("Compressed stream damaged: the total does not match its blocks");
            const std::int32_t c = stReadInteger(source);
            total -= 4;
            if (c < 1 || c > kLZRWMaxBlock || c > total)
                throw EReadError("Compressed stream damaged: bad block length");
            source.ReadBuffer(block.data(), static_cast<std::size_t>(c));
            total -= c;
            if (out.capacity() - out.size() < static_cast<std::size_t>(kLZRWBlockSize))
                out.reserve(std::max(out.capacity() * 2, out.size() + kLZRWBlockSize));
            const std::size_t before = out.size();
            if (!DUDLZRWExpandBlock(block.data(), c, out))
                throw EReadError("Compressed stream damaged: a block does not expand");
            if (static_cast<std::int64_t>(out.size() - start) > maxExpanded)
                throw EReadError("Compressed stream expands beyond the allowed size");
            TDUDReadBudget::Charge(static_cast<std::int64_t>(out.size() - before));
        }
    } catch (...) {
        out.resize(start);
        throw;
    }
}
} // namespace

void LoadCompressedBytes(TStream& source, std::vector<std::uint8_t>& dest, std::int64_t maxExpanded)
{
    std::vector<std::uint8_t> result;
    ExpandInto(source, result, maxExpanded);
    dest = std::move(result);
}

void LoadCompressedStream(TStream& source, TStream& dest, std::int64_t maxExpanded)
{
    if (auto* m = dynamic_cast<TMemoryStream*>(&dest); m && m->pos_ == m->data_.size()) {
        // Appending to memory: straight into its buffer.
        ExpandInto(source, m->data_, maxExpanded);
        m->pos_ = m->data_.size();
        return;
    }
    std::vector<std::uint8_t> bytes;
    ExpandInto(source, bytes, maxExpanded);
    dest.WriteBuffer(bytes.data(), bytes.size());
}

void stWriteBlock(TStream& s, const std::uint8_t* bytes, std::size_t size, bool compressed)
{
    if (compressed) {
        TMemoryStream source(bytes, size);
        SaveCompressedStream(source, s, static_cast<std::int64_t>(size));
        return;
    }
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw EWriteError("Block too large");
    stWriteInteger(s, static_cast<std::int32_t>(size));
    s.WriteBuffer(bytes, size);
}

std::vector<std::uint8_t> stReadBlock(TStream& s, bool compressed)
{
    std::vector<std::uint8_t> bytes;
    if (compressed) {
        LoadCompressedBytes(s, bytes);
        return bytes;
    }
    const std::size_t n = CheckedCount(s, stReadInteger(s));
    TDUDReadBudget::Charge(static_cast<std::int64_t>(n));
    bytes.resize(n);
    s.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void stWriteStringList(TStream& s, const TStringList& list, bool compressed)
{
    const std::string text = StringListText(list);
    stWriteBlock(s, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), compressed);
}

void stReadStringList(TStream& s, TStringList& list, bool compressed)
{
    std::vector<std::uint8_t> bytes = stReadBlock(s, compressed);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A short text of line ends alone makes a string object of each: the
    // lines are counted at what they hold before any is made (and no
    // further than the budget allows).
    TDUDReadBudget::Charge(HeldBytesUpTo(text, TDUDReadBudget::Left()));
    TStringList lines = StringListFromText(text);
    // The stored text (counted as it was read) is dropped once split.
    const auto stored = static_cast<std::int64_t>(bytes.size());
    bytes = {};
    TDUDReadBudget::Release(stored);
    list = std::move(lines);
}

} // namespace kyd::widgets
