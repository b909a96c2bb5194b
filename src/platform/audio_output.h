// Sound output: plays one PCM sound at a time for the whole process.
//
// The process-wide output is the ALSA backend when the program was built
// with ALSA, otherwise the null backend, which has no device and plays
// nothing. Tests install their own output with setAudioOutput().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kyd::platform {

struct AudioFormat {
    bool pcm = true;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

enum class AudioPlayMode {
    Sync,  // returns when the sound has ended or was stopped
    Async, // returns at once
    Loop,  // returns at once, repeats until stopped
};

// The samples of a sound: a shared copy, so that the player keeps them
// alive while the owner replaces or frees its own.
struct AudioClip {
    std::shared_ptr<const std::vector<std::uint8_t>> data;
    std::size_t offset = 0; // of the first sample in data
    std::size_t length = 0; // bytes of samples
    AudioFormat format;
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // A device to play on exists.
    virtual bool devicePresent() = 0;
    // Stops what is playing and plays clip for owner (any value the caller
    // uses to know its own sounds). False when there is no device or the
    // format cannot be played; nothing plays then.
    virtual bool play(const AudioClip& clip, AudioPlayMode mode, std::uintptr_t owner) = 0;
    // Stops whatever is playing.
    virtual void stop() = 0;
    // Stops the sound only while it is owner's.
    virtual void stopOwner(std::uintptr_t owner) = 0;
};

// No device: never plays.
class NullAudioOutput final : public AudioOutput {
public:
    bool devicePresent() override { return false; }
    bool play(const AudioClip&, AudioPlayMode, std::uintptr_t) override { return false; }
    void stop() override {}
    void stopOwner(std::uintptr_t) override {}
};

// The process's output.
AudioOutput& audioOutput();
// Installs an output (nullptr restores the built-in one). The caller keeps
// ownership and restores before destroying it.
void setAudioOutput(AudioOutput* output);

// The built-in ALSA output, or nullptr when built without ALSA. ALSA's own
// error lines never reach standard error: an output that finds no device
// reports that once, through the audio reporter, with ALSA's last reason.
std::unique_ptr<AudioOutput> makeAlsaAudioOutput();

// Where the sound output reports what the user may need to know ("no sound
// device (<reason>)"); an empty function restores the default, one line on
// standard error.
void setAudioReporter(std::function<void(const std::string&)> reporter);
void reportAudio(const std::string& text);

} // namespace kyd::platform
