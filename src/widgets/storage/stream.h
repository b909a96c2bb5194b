// Byte streams of the component library (memory and file) and the helpers
// that store values, strings, string lists and compressed data on them.
// All integers are little-endian. Readers never trust a length read from a
// stream: it is checked against the bytes left, and an object being read
// changes only when the whole item was read.
#pragma once

#include "widgets/framework/object.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kyd::widgets {

class EStreamError : public EDUDException {
public:
    using EDUDException::EDUDException;
};
// A short read or damaged data.
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes all count bytes or raises EWriteError.
    virtual void Write(const void* buffer, std::size_t count) = 0;
    virtual std::int64_t Position() const = 0;
    // Moves to pos (0..Size()); EStreamError beyond.
    virtual void SetPosition(std::int64_t pos) = 0;
    virtual std::int64_t Size() const = 0;

    std::int64_t Remaining() const { return Size() - Position(); }
    // Reads exactly count bytes or raises EReadError.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count) { Write(buffer, count); }
};

class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
    TMemoryStream(const std::uint8_t* bytes, std::size_t size) : data_(bytes, bytes + size) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Position() const override { return static_cast<std::int64_t>(pos_); }
    void SetPosition(std::int64_t pos) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }

    const std::vector<std::uint8_t>& Bytes() const { return data_; }
    std::vector<std::uint8_t> TakeBytes();
    // Empties the stream; the memory it had stays reserved.
    void Clear();

private:
    friend void LoadCompressedStream(TStream&, TStream&, std::int64_t);
    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// A file on disk. Only regular files are opened (a directory, FIFO or
// device raises EFOpenError at once, without being read or waited on).
class TFileStream final : public TStream {
public:
    enum Mode { fmOpenRead, fmCreate, fmOpenReadWrite };
    // EFOpenError when the file cannot be opened.
    TFileStream(const std::string& name, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Position() const override;
    void SetPosition(std::int64_t pos) override;
    std::int64_t Size() const override;

    const std::string& FileName() const { return name_; }
    // EFOpenError naming the file when it is larger than maxSize bytes.
    void CheckSize(std::int64_t maxSize) const;

private:
    std::FILE* file_ = nullptr;
    std::string name_;
};

// A list of text lines, stored as lines ending in CR LF (LF and CR alone are
// read as line ends too).
using TStringList = std::vector<std::string>;
std::string StringListText(const TStringList& list);
TStringList StringListFromText(std::string_view text);

// What an allocation of n bytes takes from the heap: rounded up to its
// alignment, with the allocator's bookkeeping (0 for none).
constexpr std::int64_t DUDHeapBytes(std::int64_t n) { return n <= 0 ? 0 : (n + 15) / 16 * 16 + 16; }
// The bytes a string of n characters holds beyond its own object: its
// characters and their end on the heap once they no longer fit inside it.
std::int64_t DUDStringHeapBytes(std::size_t n);
// The bytes StringListFromText(text) holds: the list's array of strings and
// each line's characters.
std::int64_t DUDStringListHeldBytes(std::string_view text);
// The same for the list that reading list's stored text back gives.
std::int64_t DUDStringListHeldBytes(const TStringList& list);

void stWriteInteger(TStream& s, std::int32_t v);
void stWriteWord(TStream& s, std::uint16_t v);
void stWriteByte(TStream& s, std::uint8_t v);
// A length byte and the characters; only the first 255 characters are kept.
void stWriteString(TStream& s, const std::string& v);
std::int32_t stReadInteger(TStream& s);
std::uint16_t stReadWord(TStream& s);
std::uint8_t stReadByte(TStream& s);
std::string stReadString(TStream& s);

// The default bound of what LoadCompressedStream expands.
inline constexpr std::int64_t kDUDMaxExpanded = 256LL * 1024 * 1024;
// The largest file the library reads whole (list, image-list, wave and
// generic item files); larger ones are refused before they are read.
inline constexpr std::int64_t kDUDMaxFileSize = 256LL * 1024 * 1024;

// Bounds the bytes that the compressed streams and uncompressed blocks read
// on this thread, and the pictures decoded from them, may come to in all
// while it lives: a reader of many items (a list file whose offsets may all
// name one huge item) sets one, and a read past it raises EReadError.
// Budgets nest; each one counts.
class TDUDReadBudget {
public:
    explicit TDUDReadBudget(std::int64_t bytes);
    ~TDUDReadBudget();
    TDUDReadBudget(const TDUDReadBudget&) = delete;
    TDUDReadBudget& operator=(const TDUDReadBudget&) = delete;

    // Counts bytes against every budget of this thread; EReadError when
    // one is spent.
    static void Charge(std::int64_t bytes);
    // Gives back bytes charged in the same scope that are no longer held
    // (a stored picture once it is decoded), so that a budget counts what
    // a read holds at once rather than everything it ever touched.
    static void Release(std::int64_t bytes);
    // The bytes every budget of this thread still allows (the smallest
    // left); INT64_MAX without a budget.
    static std::int64_t Left();

private:
    std::int64_t left_;
    TDUDReadBudget* outer_;
};

// Replaces the file name with bytes, never leaving a part-written or
// emptied file behind: EWriteError naming the file and the system's reason
// when any write, flush, sync or rename fails, the old file unchanged.
void DUDSaveFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
// The whole of a regular file of at most kDUDMaxFileSize bytes; EFOpenError
// when it cannot be opened, is not a regular file or is too large.
std::vector<std::uint8_t> DUDLoadFile(const std::string& name);

// Compresses up to count bytes of source, from its position, into dest as a
// compressed stream: a 4-byte total, then blocks of a 4-byte length and the
// compressed bytes of up to 32781 input bytes each. Stops early when source
// runs dry. Returns the bytes taken from source.
std::int64_t SaveCompressedStream(TStream& source, TStream& dest, std::int64_t count);
// Expands one compressed stream from source and appends it to dest. A
// damaged stream or one expanding past maxExpanded bytes raises EReadError;
// dest is then unchanged.
void LoadCompressedStream(TStream& source, TStream& dest, std::int64_t maxExpanded = kDUDMaxExpanded);
// The same into a byte vector (replaced only on success).
void LoadCompressedBytes(TStream& source, std::vector<std::uint8_t>& dest, std::int64_t maxExpanded = kDUDMaxExpanded);

// An object's bytes as a compressed stream or as an uncompressed block (a
// 4-byte count and the bytes), and back.
void stWriteBlock(TStream& s, const std::uint8_t* bytes, std::size_t size, bool compressed);
std::vector<std::uint8_t> stReadBlock(TStream& s, bool compressed);

void stWriteStringList(TStream& s, const TStringList& list, bool compressed);
// Counts the stored text while it is read, and the lines at what they hold
// (DUDStringListHeldBytes) before any is made, against the read budget.
void stReadStringList(TStream& s, TStringList& list, bool compressed);

} // namespace kyd::widgets
