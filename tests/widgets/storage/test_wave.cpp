// The wave object: header checks, loading in every form, and playing
// through the process's sound output.
#include "platform/audio_output.h"
#include "widgets/storage/containers.h"
#include "widgets/storage/wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <unistd.h>
#include <vector>

using namespace kyd::widgets;
using kyd::platform::AudioClip;
using kyd::platform::AudioPlayMode;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Tag(Bytes& b, const char* t)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(t[i]));
}

// A RIFF WAVE image; extra chunks go before "fmt ".
Bytes Wave(int tag, int channels, int rate, int bits, std::size_t samples, const Bytes& before = {},
           std::uint32_t fmtSize = 16)
{
    Bytes b;
    Tag(b, "RIFF");
    Put(b, 0, 4);
    Tag(b, "WAVE");
    b.insert(b.end(), before.begin(), before.end());
    Tag(b, "fmt ");
    Put(b, fmtSize, 4);
    Put(b, static_cast<std::uint32_t>(tag), 2);
    Put(b, static_cast<std::uint32_t>(channels), 2);
    Put(b, static_cast<std::uint32_t>(rate), 4);
    Put(b, static_cast<std::uint32_t>(rate * channels * bits / 8), 4);
    Put(b, static_cast<std::uint32_t>(channels * bits / 8), 2);
    Put(b, static_cast<std::uint32_t>(bits), 2);
    Tag(b, "data");
    Put(b, static_cast<std::uint32_t>(samples), 4);
    for (std::size_t i = 0; i < samples; ++i)
        b.push_back(static_cast<std::uint8_t>(i * 7));
    const auto riff = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    return b;
}

struct RecordingOutput : kyd::platform::AudioOutput {
    struct Play {
        AudioPlayMode mode;
        std::uintptr_t owner;
        AudioClip clip;
    };
    bool present = true;
    bool playable = true;
    std::vector<Play> plays;
    std::uintptr_t playing = 0;
    int stops = 0;

    bool devicePresent() override { return present; }
    bool play(const AudioClip& clip, AudioPlayMode mode, std::uintptr_t owner) override
    {
        if (!present || !playable)
            return false;
        plays.push_back({mode, owner, clip});
        playing = owner;
        return true;
    }
    void stop() override
    {
        ++stops;
        playing = 0;
    }
    void stopOwner(std::uintptr_t owner) override
    {
        if (playing == owner)
            stop();
    }
};

struct ScopedOutput {
    explicit ScopedOutput(kyd::platform::AudioOutput* o) { kyd::platform::setAudioOutput(o); }
    ~ScopedOutput() { kyd::platform::setAudioOutput(nullptr); }
};

} // namespace

TEST(Wave, HeaderInfo)
{
    const Bytes stereo = Wave(1, 2, 44100, 16, 400);
    TMemoryStream s(stereo);
    TDUDWaveInfo info;
    ASSERT_TRUE(DUDGetWaveStreamInfo(s, info));
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.ChannelMode, 2);
    EXPECT_EQ(info.Format, 1);
    EXPECT_EQ(info.Bits, 16);
    EXPECT_EQ(info.RiffSize, stereo.size() - 8);
    EXPECT_EQ(s.Position(), 0);

    // Chunks before "fmt " are skipped; other formats and channel counts read as 0.
    Bytes list;
    Tag(list, "LIST");
    Put(list, 3, 4);
    list.insert(list.end(), {'a', 'b', 'c', 0}); // padded to an even length
    TMemoryStream other(Wave(3, 6, 8000, 32, 10, list));
    ASSERT_TRUE(DUDGetWaveStreamInfo(other, info));
    EXPECT_EQ(info.Format, 0);
    EXPECT_EQ(info.ChannelMode, 0);
    EXPECT_EQ(info.Bits, 32);

    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'};
    Bytes shortFmt = Wave(1, 1, 8000, 8, 4, {}, 14);
    Bytes cutFmt = Wave(1, 1, 8000, 8, 0);
    cutFmt.resize(12 + 8 + 10);
    for (const Bytes& bad : {Bytes{}, text, shortFmt, cutFmt}) {
        TMemoryStream b(bad);
        EXPECT_FALSE(DUDGetWaveStreamInfo(b, info));
    }
    EXPECT_FALSE(DUDGetWaveFileInfo("/nonexistent/x.wav", info));
}

TEST(Wave, LoadingKeepsTheOldSoundOnBadData)
{
    TDUDWave wave;
    int changes = 0;
    wave.OnChange = [&](void*) { ++changes; };
    EXPECT_TRUE(wave.Empty());
    EXPECT_EQ(wave.SampleRate(), 0);

    const Bytes good = Wave(1, 1, 22050, 8, 100);
    TMemoryStream s(good);
    wave.LoadFromStream(s);
    EXPECT_EQ(wave.Size(), good.size());
    EXPECT_EQ(wave.ChannelMode(), 1);
    EXPECT_EQ(changes, 1);

    const Bytes text(50, 'x');
    TMemoryStream t(text);
    try {
        wave.LoadFromStream(t);
        ADD_FAILURE() << "text loaded as a wave";
    } catch (const EInvalidWave& e) {
        EXPECT_NE(std::string(e.what()).find(": TDUDWave"), std::string::npos);
    }
    EXPECT_EQ(*wave.Data(), good);
    EXPECT_EQ(changes, 1);

    // Length-prefixed and compressed forms, and the stream helpers.
    for (bool compressed : {false, true}) {
        TMemoryStream st;
        stWriteWave(st, wave, compressed);
        stWriteByte(st, 0x77);
        st.SetPosition(0);
        TDUDWave back;
        stReadWave(st, back, compressed);
        EXPECT_EQ(*back.Data(), good);
        EXPECT_EQ(stReadByte(st), 0x77);
    }
    TMemoryStream lying;
    stWriteInteger(lying, 1000);
    lying.WriteBuffer(good.data(), good.size());
    lying.SetPosition(0);
    EXPECT_THROW(wave.LoadFromStreamEx(lying), EReadError);
    EXPECT_EQ(*wave.Data(), good);

    // A length of 0 empties; so does freeing.
    TDUDWave copy;
    copy.Assign(wave);
    EXPECT_EQ(*copy.Data(), good);
    TMemoryStream zero;
    stWriteInteger(zero, 0);
    zero.SetPosition(0);
    copy.LoadFromStreamEx(zero);
    EXPECT_TRUE(copy.Empty());
    wave.FreeWave();
    EXPECT_TRUE(wave.Empty());
    EXPECT_EQ(wave.Bits(), 0);
}

TEST(Wave, FileRoundTrip)
{
    const std::string name = ::testing::TempDir() + "kyd_wave_test.wav";
    const Bytes good = Wave(1, 2, 44100, 16, 64);
    TDUDWave wave;
    TMemoryStream s(good);
    wave.LoadFromStream(s);
    wave.SaveToFile(name);
    TDUDWave back(name);
    EXPECT_EQ(*back.Data(), good);
    TDUDWaveInfo info;
    EXPECT_TRUE(DUDGetWaveFileInfo(name, info));
    EXPECT_EQ(info.SampleRate, 44100u);
    std::remove(name.c_str());
    EXPECT_THROW(TDUDWave("/nonexistent/x.wav"), EFOpenError);
}

TEST(Wave, PlaysThroughTheOutput)
{
    const Bytes good = Wave(1, 2, 44100, 16, 64);
    TMemoryStream s(good);
    TDUDWave wave, other;
    wave.LoadFromStream(s);
    other.Assign(wave);

    {
        kyd::platform::NullAudioOutput none;
        ScopedOutput use(&none);
        EXPECT_FALSE(DUDMMWavePossible());
        EXPECT_FALSE(wave.Play());
    }

    RecordingOutput out;
    ScopedOutput use(&out);
    EXPECT_TRUE(DUDMMWavePossible());
    TDUDWave empty;
    EXPECT_FALSE(empty.Play());
    EXPECT_TRUE(wave.PlaySound(TDUDWave::pmSync));
    EXPECT_TRUE(wave.Play());
    EXPECT_TRUE(wave.PlaySound(TDUDWave::pmLoop));
    ASSERT_EQ(out.plays.size(), 3u);
    EXPECT_EQ(out.plays[0].mode, AudioPlayMode::Sync);
    EXPECT_EQ(out.plays[1].mode, AudioPlayMode::Async);
    EXPECT_EQ(out.plays[2].mode, AudioPlayMode::Loop);
    const AudioClip& clip = out.plays[2].clip;
    EXPECT_EQ(clip.format, (kyd::platform::AudioFormat{true, 2, 44100, 16}));
    EXPECT_EQ(clip.offset, 44u);
    EXPECT_EQ(clip.length, 64u);

    // Another object's free leaves this sound playing; this one's stops it.
    other.FreeWave();
    EXPECT_EQ(out.playing, reinterpret_cast<std::uintptr_t>(&wave));
    // The player keeps its own share of the data.
    TMemoryStream s2(Wave(1, 1, 8000, 8, 10));
    wave.LoadFromStream(s2);
    EXPECT_EQ(out.playing, 0u);
    EXPECT_EQ(clip.data->size(), good.size());

    out.playable = false;
    EXPECT_FALSE(wave.Play());
    out.present = false;
    out.playable = true;
    EXPECT_FALSE(wave.Play());
}

TEST(Wave, BuiltInOutputPlaysOnlyWithADevice)
{
    // ALSA when built with it, else none: without a device nothing plays;
    // with one, 20 ms of sound play to the end.
    TMemoryStream s(Wave(1, 1, 8000, 16, 320));
    TDUDWave wave;
    wave.LoadFromStream(s);
    const bool device = DUDMMWavePossible();
    EXPECT_EQ(wave.PlaySound(TDUDWave::pmSync), device);
    TMemoryStream odd(Wave(2, 1, 8000, 4, 320)); // not PCM
    TDUDWave adpcm;
    adpcm.LoadFromStream(odd);
    EXPECT_FALSE(adpcm.Play());
}

TEST(Wave, OneSoundFetchedFromAWaveListFile)
{
    const Bytes mono = Wave(1, 1, 8000, 8, 50);
    TDUDWaveList list;
    list.Add();
    auto* item = static_cast<TDUDWaveListItem*>(list.Add());
    TMemoryStream s(mono);
    item->Wave.LoadFromStream(s);
    const std::string file = "/tmp/kyd_wvl_" + std::to_string(::getpid()) + ".wvl";
    list.SaveToFile(file);
    TDUDWave wave;
    ASSERT_TRUE(DUDWVLGetItem(file, 1, wave));
    EXPECT_EQ(8000u, wave.SampleRate());
    EXPECT_EQ(mono.size(), static_cast<std::size_t>(wave.Size()));
    EXPECT_TRUE(DUDWVLGetItem(file, 0, wave)); // an empty item empties the wave
    EXPECT_TRUE(wave.Empty());
    EXPECT_FALSE(DUDWVLGetItem(file, 2, wave));
    std::remove(file.c_str());
}

TEST(Wave, WaveItemsCopyTheirSoundAndRefuseADamagedOne)
{
    TDUDWaveListItem item;
    TMemoryStream in(Wave(1, 1, 8000, 8, 40));
    item.Wave.LoadFromStream(in);

    auto copy = item.NewEmpty();
    ASSERT_NE(nullptr, dynamic_cast<TDUDWaveListItem*>(copy.get()));
    EXPECT_TRUE(copy->GetEmpty());
    copy->Assign(item);
    EXPECT_EQ(item.Wave.Size(), static_cast<TDUDWaveListItem&>(*copy).Wave.Size());
    copy->FreeData();
    EXPECT_TRUE(copy->GetEmpty());

    // A record whose sound is not a wave is a read error that keeps the
    // item's sound; the sound intact is taken over.
    TMemoryStream s;
    item.WriteData(s);
    Bytes record = s.Bytes();
    Bytes damaged = record;
    const auto riff = std::search(damaged.begin(), damaged.end(), std::begin("RIFF"), std::end("RIFF") - 1);
    ASSERT_NE(damaged.end(), riff);
    riff[0] = 'X';
    TDUDWaveListItem read;
    TMemoryStream other(Wave(1, 2, 11025, 16, 20));
    read.Wave.LoadFromStream(other);
    const std::size_t before = read.Wave.Size();
    TMemoryStream bad(damaged);
    EXPECT_THROW(read.ReadData(bad), EReadError);
    EXPECT_EQ(before, read.Wave.Size());
    TMemoryStream good(record);
    read.ReadData(good);
    EXPECT_EQ(item.Wave.Size(), read.Wave.Size());
    EXPECT_EQ(8000u, read.Wave.SampleRate());
}

TEST(Wave, WithoutASoundDeviceNothingPlaysAndThatIsSaidOnce)
{
    std::unique_ptr<kyd::platform::AudioOutput> alsa = kyd::platform::makeAlsaAudioOutput();
    if (!alsa)
        GTEST_SKIP() << "built without ALSA";
    std::vector<std::string> said;
    kyd::platform::setAudioReporter([&](const std::string& text) { said.push_back(text); });
    testing::internal::CaptureStderr();
    const bool present = alsa->devicePresent();
    bool played = false;
    if (!present) {
        TMemoryStream s(Wave(1, 1, 8000, 8, 80));
        TDUDWave wave;
        wave.LoadFromStream(s);
        ScopedOutput use(alsa.get());
        for (int i = 0; i < 3; ++i)
            played = wave.Play() || played;
        played = wave.PlaySound(TDUDWave::pmSync) || played;
        played = DUDMMWavePossible() || played;
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    kyd::platform::setAudioReporter(nullptr);
    if (present)
        GTEST_SKIP() << "this machine has a sound device";
    EXPECT_FALSE(played);
    EXPECT_EQ(errors, "") << "the sound library's own lines reached standard error";
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].rfind("no sound device (", 0), 0u) << said[0];
}
