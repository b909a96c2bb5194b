#include "widgets/storage/wave.h"

#include "platform/audio_output.h"

#include <cstring>

namespace kyd::widgets {

namespace {
std::uint32_t U32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
bool Tag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

std::uintptr_t OwnerId(const TDUDWave* w) { return reinterpret_cast<std::uintptr_t>(w); }
} // namespace

bool DUDParseWave(const std::uint8_t* data, std::size_t size, TDUDWaveLayout& layout)
{
    if (size < 12 || !Tag(data, "RIFF") || !Tag(data + 8, "WAVE"))
        return false;
    TDUDWaveLayout l;
    l.Info.RiffSize = U32(data + 4);
    std::size_t pos = 12;
    bool haveFormat = false;
    while (size - pos >= 8) {
        const std::uint8_t* chunk = data + pos;
        const std::size_t length = U32(chunk + 4);
        const std::size_t body = pos + 8;
        const bool complete = length <= size - body;
        if (Tag(chunk, "fmt ") && !haveFormat) {
            if (length < 16 || !complete)
                return false;
            l.FormatTag = U16(data + body);
            l.Channels = U16(data + body + 2);
            l.Info.Format = l.FormatTag == 1 ? 1 : 0;
            l.Info.ChannelMode = l.Channels == 1 ? 1 : l.Channels == 2 ? 2 : 0;
            l.Info.SampleRate = U32(data + body + 4);
            l.Info.Bits = U16(data + body + 14);
            haveFormat = true;
        } else if (Tag(chunk, "data") && haveFormat && l.DataOffset == 0) {
            l.DataOffset = body;
            l.DataLength = complete ? length : size - body; // a cut-off data chunk plays what is there
        }
        if (!complete)
            break;
        // Chunks are padded to an even length.
        const std::size_t next = body + length + (length & 1);
        if (next > size)
            break;
        pos = next;
    }
    if (!haveFormat)
        return false;
    layout = l;
    return true;
}

namespace {
// The header of the wave on stream, from its start: the chunks are walked
// with bounded reads (only a chunk's 8-byte head and the format chunk's 16
// bytes are read), so a huge file or stream costs no memory. The same
// rules as DUDParseWave.
bool ReadWaveInfo(TStream& stream, TDUDWaveInfo& info)
{
    const std::int64_t size = stream.Size();
    std::uint8_t head[12];
    if (size < 12 || stream.Read(head, 12) != 12 || !Tag(head, "RIFF") || !Tag(head + 8, "WAVE"))
        return false;
    TDUDWaveInfo found;
    found.RiffSize = U32(head + 4);
    std::int64_t pos = 12;
    while (size - pos >= 8) {
        std::uint8_t chunk[8];
        if (stream.Read(chunk, 8) != 8)
            return false;
        const std::int64_t length = U32(chunk + 4);
        const std::int64_t body = pos + 8;
        if (Tag(chunk, "fmt ")) {
            std::uint8_t fmt[16];
            if (length < 16 || length > size - body || stream.Read(fmt, 16) != 16)
                return false;
            const std::uint16_t channels = U16(fmt + 2);
            found.Format = U16(fmt) == 1 ? 1 : 0;
            found.ChannelMode = channels == 1 ? 1 : channels == 2 ? 2 : 0;
            found.SampleRate = U32(fmt + 4);
            found.Bits = U16(fmt + 14);
            info = found;
            return true;
        }
        // Chunks are padded to an even length.
        const std::int64_t next = body + length + (length & 1);
        if (length > size - body || next > size)
            return false;
        stream.SetPosition(next);
        pos = next;
    }
    return false;
}
} // namespace

bool DUDGetWaveStreamInfo(TStream& stream, TDUDWaveInfo& info)
{
    if (stream.Size() <= 0)
        return false;
    stream.SetPosition(0);
    const bool ok = ReadWaveInfo(stream, info);
    stream.SetPosition(0);
    return ok;
}

bool DUDGetWaveFileInfo(const std::string& name, TDUDWaveInfo& info)
{
    try {
        TFileStream f(name, TFileStream::fmOpenRead);
        return DUDGetWaveStreamInfo(f, info);
    } catch (const EStreamError&) {
        return false;
    }
}

bool DUDMMWavePossible() { return platform::audioOutput().devicePresent(); }

TDUDWave::TDUDWave(const std::string& fileName) { LoadFromFile(fileName); }

TDUDWave::~TDUDWave()
{
    if (!Empty())
        StopOwn();
}

void TDUDWave::StopOwn() { platform::audioOutput().stopOwner(OwnerId(this)); }

void TDUDWave::Assign(const TDUDWave& source)
{
    if (&source == this)
        return;
    if (!Empty())
        StopOwn();
    data_ = source.data_; // the bytes are never changed in place
    layout_ = source.layout_;
    info_ = source.info_;
    Change();
}

void TDUDWave::SetData(std::vector<std::uint8_t> bytes)
{
    TDUDWaveLayout layout;
    if (!bytes.empty() && !DUDParseWave(bytes.data(), bytes.size(), layout))
        throw EInvalidWave("Invalid wave data: " + ClassName());
    if (!Empty())
        StopOwn();
    if (bytes.empty()) {
        data_.reset();
        layout_ = {};
    } else {
        data_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
        layout_ = layout;
    }
    info_ = layout_.Info;
    Change();
}

void TDUDWave::ReadStream(std::size_t count, TStream& stream)
{
    TDUDReadBudget::Charge(static_cast<std::int64_t>(count));
    std::vector<std::uint8_t> bytes(count);
    stream.ReadBuffer(bytes.data(), count);
    SetData(std::move(bytes));
}

void TDUDWave::LoadFromFile(const std::string& name)
{
    TFileStream f(name, TFileStream::fmOpenRead);
    f.CheckSize(kDUDMaxFileSize);
    LoadFromStream(f);
}

void TDUDWave::LoadFromStream(TStream& stream)
{
    const std::int64_t n = stream.Remaining();
    ReadStream(n > 0 ? static_cast<std::size_t>(n) : 0, stream);
}

void TDUDWave::LoadFromStreamEx(TStream& stream)
{
    const std::int32_t n = stReadInteger(stream);
    if (n < 0 || n > stream.Remaining())
        throw EReadError("Stream read error: a length runs past the end of the data");
    ReadStream(static_cast<std::size_t>(n), stream);
}

void TDUDWave::LoadCompressedFromStream(TStream& stream)
{
    std::vector<std::uint8_t> bytes;
    LoadCompressedBytes(stream, bytes);
    SetData(std::move(bytes));
}

void TDUDWave::SaveToFile(const std::string& name) const
{
    static const std::vector<std::uint8_t> none;
    DUDSaveFile(name, Empty() ? none : *data_);
}

void TDUDWave::SaveToStream(TStream& stream) const
{
    if (!Empty())
        stream.WriteBuffer(data_->data(), data_->size());
}

void TDUDWave::SaveToStreamEx(TStream& stream) const
{
    stWriteInteger(stream, static_cast<std::int32_t>(Size()));
    SaveToStream(stream);
}

void TDUDWave::SaveCompressedToStream(TStream& stream) const
{
    stWriteBlock(stream, Empty() ? nullptr : data_->data(), Size(), true);
}

void TDUDWave::FreeWave()
{
    if (Empty())
        return;
    StopOwn();
    data_.reset();
    layout_ = {};
    info_ = {};
    Change();
}

bool TDUDWave::PlaySound(int mode)
{
    if (Empty() || layout_.DataOffset == 0)
        return false;
    platform::AudioOutput& out = platform::audioOutput();
    if (!out.devicePresent())
        return false;
    platform::AudioClip clip;
    clip.data = data_;
    clip.offset = layout_.DataOffset;
    clip.length = layout_.DataLength;
    clip.format.pcm = layout_.FormatTag == 1;
    clip.format.channels = layout_.Channels;
    clip.format.sampleRate = static_cast<int>(layout_.Info.SampleRate);
    clip.format.bitsPerSample = layout_.Info.Bits;
    const auto how = mode == pmSync ? platform::AudioPlayMode::Sync
                     : mode == pmLoop ? platform::AudioPlayMode::Loop
                                      : platform::AudioPlayMode::Async;
    return out.play(clip, how, OwnerId(this));
}

void TDUDWave::Stop() { platform::audioOutput().stop(); }

void stWriteWave(TStream& s, const TDUDWave& wave, bool compressed)
{
    if (compressed)
        wave.SaveCompressedToStream(s);
    else
        wave.SaveToStreamEx(s);
}

void stReadWave(TStream& s, TDUDWave& wave, bool compressed)
{
    if (compressed)
        wave.LoadCompressedFromStream(s);
    else
        wave.LoadFromStreamEx(s);
}

} // namespace kyd::widgets
