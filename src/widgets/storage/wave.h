// TDUDWave: one RIFF WAVE sound held in memory, loaded and saved plain,
// length-prefixed or compressed, and played through the process's sound
// output (platform/audio_output.h), one sound at a time.
#pragma once

#include "widgets/framework/object.h"
#include "widgets/storage/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kyd::widgets {

class EInvalidWave : public EDUDException {
public:
    using EDUDException::EDUDException;
};
class EErrorCheckingWave : public EDUDException {
public:
    using EDUDException::EDUDException;
};

struct TDUDWaveInfo {
    std::uint32_t RiffSize = 0;
    std::uint32_t SampleRate = 0;
    std::uint8_t ChannelMode = 0; // 1 mono, 2 stereo, 0 other
    std::uint8_t Format = 0;      // 1 PCM, 0 other
    std::uint16_t Bits = 0;
    friend bool operator==(const TDUDWaveInfo&, const TDUDWaveInfo&) = default;
};

// Where the samples lie in a WAVE image, with the fields of its "fmt " chunk.
struct TDUDWaveLayout {
    TDUDWaveInfo Info;
    std::uint16_t FormatTag = 0;
    std::uint16_t Channels = 0;
    std::size_t DataOffset = 0; // 0: no "data" chunk
    std::size_t DataLength = 0;
};

// Parses a WAVE header: "RIFF", size, "WAVE", chunks up to a complete "fmt "
// chunk of at least 16 bytes (chunks before it are skipped). False for
// anything else.
bool DUDParseWave(const std::uint8_t* data, std::size_t size, TDUDWaveLayout& layout);
bool DUDGetWaveStreamInfo(TStream& stream, TDUDWaveInfo& info);
bool DUDGetWaveFileInfo(const std::string& name, TDUDWaveInfo& info);
// A device to play sounds on exists.
bool DUDMMWavePossible();

class TDUDWave : public TDUDObject {
public:
    enum TPlayMode { pmSync = 0, pmAsync = 1, pmLoop = 2 };

    TDUDWave() = default;
    explicit TDUDWave(const std::string& fileName);
    ~TDUDWave() override;

    std::string ClassName() const override { return "TDUDWave"; }

    void Assign(const TDUDWave& source);
    void LoadFromFile(const std::string& name);
    // From the stream's position to its end.
    void LoadFromStream(TStream& stream);
    // A 4-byte length, then the bytes.
    void LoadFromStreamEx(TStream& stream);
    void LoadCompressedFromStream(TStream& stream);
    void SaveToFile(const std::string& name) const;
    void SaveToStream(TStream& stream) const;
    void SaveToStreamEx(TStream& stream) const;
    void SaveCompressedToStream(TStream& stream) const;
    // The "Data" property of stored components: the length-prefixed form,
    // written only when there is data.
    bool HasData() const { return !Empty(); }
    void ReadData(TStream& stream) { LoadFromStreamEx(stream); }
    void WriteData(TStream& stream) const { SaveToStreamEx(stream); }

    void FreeWave();
    bool Play() { return PlaySound(pmAsync); }
    // False when empty, without a device, or when the sound's format cannot
    // be played.
    bool PlaySound(int mode);
    // Stops the sound that is playing.
    void Stop();

    bool Empty() const { return !data_ || data_->empty(); }
    std::size_t Size() const { return data_ ? data_->size() : 0; }
    int Bits() const { return info_.Bits; }
    int ChannelMode() const { return info_.ChannelMode; }
    int Format() const { return info_.Format; }
    int SampleRate() const { return static_cast<int>(info_.SampleRate); }
    TDUDWaveInfo Info() const { return info_; }
    const std::vector<std::uint8_t>* Data() const { return data_.get(); }

private:
    // count bytes of stream become the sound (0 empties it); a bad header
    // raises EInvalidWave and keeps the sound there was.
    void ReadStream(std::size_t count, TStream& stream);
    void SetData(std::vector<std::uint8_t> bytes);
    void StopOwn();

    std::shared_ptr<const std::vector<std::uint8_t>> data_;
    TDUDWaveLayout layout_;
    TDUDWaveInfo info_;
};

void stWriteWave(TStream& s, const TDUDWave& wave, bool compressed);
void stReadWave(TStream& s, TDUDWave& wave, bool compressed);

} // namespace kyd::widgets
