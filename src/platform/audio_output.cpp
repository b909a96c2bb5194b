#include "platform/audio_output.h"

#include <atomic>
#include <mutex>

namespace kyd::platform {

namespace {
std::atomic<AudioOutput*> installed{nullptr};

AudioOutput& builtIn()
{
    static const std::unique_ptr<AudioOutput> output = [] {
        std::unique_ptr<AudioOutput> alsa = makeAlsaAudioOutput();
        return alsa ? std::move(alsa) : std::unique_ptr<AudioOutput>(new NullAudioOutput);
    }();
    return *output;
}
} // namespace

AudioOutput& audioOutput()
{
    AudioOutput* o = installed.load();
    return o ? *o : builtIn();
}

void setAudioOutput(AudioOutput* output) { installed.store(output); }

} // namespace kyd::platform
