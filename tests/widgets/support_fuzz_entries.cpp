#include "support_fuzz_entries.h"

#include "widgets/storage/containers.h"
#include "platform/audio_output.h"
#include "platform/system_info.h"
#include "widgets/services/ini_ctrl.h"
#include "widgets/storage/text_forms.h"
#include "widgets/painting/bmp_format.h"
#include "widgets/storage/stream.h"
#include "widgets/storage/wave.h"
#include "widgets/storage/lzrw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kyd::widgets::fuzz {

namespace {
// Small bound, so that a fuzzer is not slowed down by legitimately huge output.
constexpr std::int64_t kFuzzMaxExpanded = 4 * 1024 * 1024;

void Require(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

int FuzzLZRWExpand(const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t>(kLZRWMaxBlock) + 64)
        return 0;
    // An exact-size copy, so that a sanitizer sees every read past the block.
    std::vector<std::uint8_t> block(data, data + size);
    std::vector<std::uint8_t> out(kLZRWBlockSize);
    const std::int32_t n = DUDLZRWDecompress(block.data(), out.data(), static_cast<std::int32_t>(size));
    Require(n >= -1 && n <= kLZRWBlockSize);
    std::vector<std::uint8_t> appended = {1, 2, 3};
    const bool ok = DUDLZRWExpandBlock(block.data(), static_cast<std::int32_t>(size), appended);
    Require(ok == (n >= 0));
    Require(ok ? appended.size() == 3 + static_cast<std::size_t>(n) : appended.size() == 3);
    return 0;
}

int FuzzLoadCompressedStream(const std::uint8_t* data, std::size_t size)
{
    TMemoryStream source(data, size);
    TMemoryStream dest;
    const std::uint8_t before[] = {'k', 'e', 'e', 'p'};
    dest.WriteBuffer(before, sizeof before);
    try {
        LoadCompressedStream(source, dest, kFuzzMaxExpanded);
    } catch (const EReadError&) {
        Require(dest.Size() == 4); // unchanged on failure
    }
    return 0;
}

int FuzzStreamReaders(const std::uint8_t* data, std::size_t size)
{
    auto attempt = [&](auto&& read) {
        TMemoryStream s(data, size);
        try {
            read(s);
        } catch (const EDUDException&) {
        }
        Require(s.Position() <= s.Size());
    };
    attempt([](TStream& s) { stReadInteger(s); });
    attempt([](TStream& s) { stReadWord(s); });
    attempt([](TStream& s) { stReadByte(s); });
    attempt([](TStream& s) { stReadString(s); });
    for (bool compressed : {false, true}) {
        attempt([&](TStream& s) {
            TStringList list = {"old"};
            try {
                stReadStringList(s, list, compressed);
            } catch (const EReadError&) {
                Require(list.size() == 1 && list[0] == "old");
                throw;
            }
        });
        attempt([&](TStream& s) {
            TDUDWave wave;
            stReadWave(s, wave, compressed);
        });
        attempt([&](TStream& s) { stReadBitmapBytes(s, compressed); });
    }
    return 0;
}

int FuzzWaveHeader(const std::uint8_t* data, std::size_t size)
{
    TDUDWaveLayout layout;
    if (DUDParseWave(data, size, layout) && layout.DataOffset != 0) {
        Require(layout.DataOffset <= size);
        Require(layout.DataLength <= size - layout.DataOffset);
    }
    TDUDWave wave;
    try {
        TMemoryStream s(data, size);
        wave.LoadFromStream(s);
        Require(wave.Size() == size);
        platform::NullAudioOutput silent;
        platform::setAudioOutput(&silent);
        wave.PlaySound(TDUDWave::pmAsync);
        platform::setAudioOutput(nullptr);
        wave.FreeWave();
    } catch (const EInvalidWave&) {
        Require(wave.Empty());
    }
    return 0;
}

int FuzzCompressExpand(const std::uint8_t* data, std::size_t size)
{
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(size, kLZRWBlockSize));
    std::vector<std::uint8_t> in(data, data + n);
    std::vector<std::uint8_t> block = DUDLZRWCompressBlock(in.data(), n);
    Require(block.size() <= static_cast<std::size_t>(n) + 1);
    std::vector<std::uint8_t> out;
    Require(DUDLZRWExpandBlock(block.data(), static_cast<std::int32_t>(block.size()), out));
    Require(out == in);
    // And through the streams, in blocks.
    TMemoryStream source(data, size);
    TMemoryStream packed;
    Require(SaveCompressedStream(source, packed, static_cast<std::int64_t>(size)) == static_cast<std::int64_t>(size));
    packed.SetPosition(0);
    TMemoryStream unpacked;
    LoadCompressedStream(packed, unpacked);
    Require(unpacked.Bytes() == std::vector<std::uint8_t>(data, data + size));
    return 0;
}

int FuzzMeminfo(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& [name, bytes] : platform::parseMeminfo(text))
        Require(!name.empty() && name.find('\n') == std::string::npos);
    return 0;
}

int FuzzMountTable(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& m : platform::parseMounts(text))
        Require(!m.device.empty() && !m.mountPoint.empty() && !m.fsType.empty());
    return 0;
}

int FuzzOsRelease(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& [key, value] : platform::parseOsRelease(text))
        Require(!key.empty() && value.find('\n') == std::string::npos);
    return 0;
}

int FuzzIniConversions(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Readers never fail; what the writers make of their result reads back.
    const TPoint p = DUDStringToPoint(text);
    Require(DUDStringToPoint(DUDPointToString(p)) == p);
    const TRect r = DUDStringToRect(text);
    Require(DUDStringToRect(DUDRectToString(r)) == r);
    TColor c = 0;
    if (StringToColor(text, c)) {
        TColor back = ~c;
        Require(StringToColor(ColorToString(c), back) && back == c);
    }
    TFont f;
    if (DUDStringToFont(text, f) && f.Name.find(',') == std::string::npos) {
        TFont g;
        Require(DUDStringToFont(DUDFontToString(f), g));
        Require(g.Bold == f.Bold && g.Italic == f.Italic && g.Color == f.Color && g.Name == f.Name);
    }
    const double d = DUDIniTextToFloat(text, 0.25);
    Require(DUDIniTextToFloat(DUDIniFloatToText(d), -1) == d);
    const double when = DUDIniTextToDateTime(text, -1e9);
    if (when != -1e9)
        Require(DUDIniTextToDateTime(DUDIniDateTimeToText(when), -1e9) == when);
    int i = 0;
    if (DUDTryStrToInt(text, i)) {
        int j = ~i;
        Require(DUDTryStrToInt(std::to_string(i), j) && j == i);
    }
    return 0;
}

// --- containers and list files ---

namespace {

std::unique_ptr<TDUDCustomContainer> ContainerOf(int type)
{
    switch (type) {
    case lftWaveList: return std::make_unique<TDUDWaveList>();
    case lftStringList: return std::make_unique<TDUDStringList>();
    case lftGenericList: return std::make_unique<TDUDGenericList>();
    default: return nullptr;
    }
}

std::vector<std::uint8_t> SavedData(const TDUDCustomContainer& c, bool withOffsets)
{
    TMemoryStream s;
    c.WriteData(s, withOffsets);
    return s.Bytes();
}

// Loads container data; on success the saved form loads back unchanged,
// on failure the container keeps what it had.
void LoadChecked(TDUDCustomContainer& c, TStream& s, bool withOffsets)
{
    const std::vector<std::uint8_t> before = SavedData(c, withOffsets);
    try {
        c.ReadData(s, withOffsets);
    } catch (const EStreamError&) {
        Require(SavedData(c, withOffsets) == before);
        return;
    }
    const std::vector<std::uint8_t> saved = SavedData(c, withOffsets);
    TMemoryStream again(saved);
    auto copy = ContainerOf(c.FileType());
    copy->ReadData(again, withOffsets);
    Require(SavedData(*copy, withOffsets) == saved);
}

} // namespace

int FuzzListFile(const std::uint8_t* data, std::size_t size)
{
    TMemoryStream s(data, size);
    std::vector<std::int32_t> offsets;
    int type = lftUnknown;
    try {
        type = DUDListGetFileType(s, offsets);
    } catch (const EStreamError&) {
        return 0;
    }
    Require(type >= 0 && type <= lftUnknown);
    auto c = ContainerOf(type);
    if (!c)
        return 0;
    s.SetPosition(9);
    LoadChecked(*c, s, true);
    return 0;
}

int FuzzContainerData(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool withOffsets = data[0] & 1;
    for (int type : {lftWaveList, lftStringList, lftGenericList}) {
        auto c = ContainerOf(type);
        c->Add()->SetDescription("kept");
        TMemoryStream s(data + 1, size - 1);
        LoadChecked(*c, s, withOffsets);
    }
    return 0;
}

int FuzzListItemReaders(const std::uint8_t* data, std::size_t size)
{
    TMemoryStream s(data, size);
    std::vector<std::int32_t> offsets;
    try {
        if (DUDListGetFileType(s, offsets) == lftUnknown)
            return 0;
    } catch (const EStreamError&) {
        return 0;
    }
    TDUDStringListItem strings;
    TDUDGenericListItem generic;
    TDUDWaveListItem wave;
    for (TDUDListItem* item : std::initializer_list<TDUDListItem*>{&strings, &generic, &wave})
        for (int index : {-1, 0, 1, static_cast<int>(offsets.size())}) {
            try {
                const bool read = DUDListGetItemFromStream(s, offsets, index, *item);
                Require(read || index < 0 || index >= static_cast<int>(offsets.size()));
            } catch (const EStreamError&) {
            }
        }
    return 0;
}

} // namespace kyd::widgets::fuzz
