#include "platform/audio_output.h"

#include <atomic>
#include <cstdio>
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

namespace {
std::mutex reporterMutex;
std::function<void(const std::string&)> reporter;
} // namespace

void setAudioReporter(std::function<void(const std::string&)> r)
{
    std::lock_guard<std::mutex> lock(reporterMutex);
    reporter = std::move(r);
}

void reportAudio(const std::string& text)
{
    std::function<void(const std::string&)> r;
    {
        std::lock_guard<std::mutex> lock(reporterMutex);
        r = reporter;
    }
    if (r)
        r(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

AudioOutput& audioOutput()
{
    AudioOutput* o = installed.load();
    return o ? *o : builtIn();
}

void setAudioOutput(AudioOutput* output) { installed.store(output); }

} // namespace kyd::platform
