// The ALSA backend of the sound output (built only when ALSA was found).
#include "platform/audio_output.h"

#ifdef KYD_HAVE_ALSA

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kyd::platform {

namespace {

constexpr const char* kDevice = "default";

bool alsaFormat(const AudioFormat& f, snd_pcm_format_t& out)
{
    if (!f.pcm || f.channels < 1 || f.channels > 8 || f.sampleRate < 1000 || f.sampleRate > 384000)
        return false;
    switch (f.bitsPerSample) {
    case 8: out = SND_PCM_FORMAT_U8; return true;
    case 16: out = SND_PCM_FORMAT_S16_LE; return true;
    case 24: out = SND_PCM_FORMAT_S24_3LE; return true;
    case 32: out = SND_PCM_FORMAT_S32_LE; return true;
    default: return false;
    }
}

// ALSA's own error lines (eight of them for a missing card, at every open)
// are kept from standard error: the last one of this thread is kept as the
// reason to report.
thread_local std::string lastAlsaError;

void keepAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/, const char* fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    lastAlsaError = text;
}

class AlsaAudioOutput final : public AudioOutput {
public:
    AlsaAudioOutput()
    {
        static std::once_flag installed;
        std::call_once(installed, [] { snd_lib_error_set_handler(keepAlsaError); });
    }
    ~AlsaAudioOutput() override { stop(); }

    bool devicePresent() override
    {
        snd_pcm_t* pcm = nullptr;
        lastAlsaError.clear();
        if (const int err = snd_pcm_open(&pcm, kDevice, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); err < 0) {
            // Said once: a program asking before every sound says it once.
            if (!missingReported_.exchange(true))
                reportAudio("no sound device (" +
                            (lastAlsaError.empty() ? std::string(snd_strerror(err)) : lastAlsaError) + ")");
            return false;
        }
        snd_pcm_close(pcm);
        return true;
    }

    bool play(const AudioClip& clip, AudioPlayMode mode, std::uintptr_t owner) override
    {
        snd_pcm_format_t format;
        if (!clip.data || !alsaFormat(clip.format, format) || clip.offset + clip.length > clip.data->size())
            return false;
        std::unique_lock<std::mutex> guard(stopMutex_);
        stopLocked();
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, kDevice, SND_PCM_STREAM_PLAYBACK, 0) < 0)
            return false;
        if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(clip.format.channels),
                               static_cast<unsigned>(clip.format.sampleRate), 1, 100000)
            < 0) {
            snd_pcm_close(pcm);
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            owner_ = owner;
            finished_ = false;
            stopping_ = false;
        }
        worker_ = std::thread([this, pcm, clip, mode] { run(pcm, clip, mode); });
        guard.unlock();
        if (mode == AudioPlayMode::Sync) {
            std::unique_lock<std::mutex> lock(mutex_);
            done_.wait(lock, [this] { return finished_; });
        }
        return true;
    }

    void stop() override
    {
        std::lock_guard<std::mutex> guard(stopMutex_);
        stopLocked();
    }

    void stopLocked()
    {
        stopping_ = true;
        if (worker_.joinable())
            worker_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        owner_ = 0;
    }

    void stopOwner(std::uintptr_t owner) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (owner_ != owner || finished_)
                return;
        }
        stop();
    }

private:
    void run(snd_pcm_t* pcm, AudioClip clip, AudioPlayMode mode)
    {
        const std::size_t frameBytes =
            static_cast<std::size_t>(clip.format.channels) * static_cast<std::size_t>(clip.format.bitsPerSample / 8);
        const std::size_t frames = clip.length / frameBytes;
        // Chunks of 50 ms, so that a stop is noticed soon.
        const std::size_t chunk = std::max<std::size_t>(64, static_cast<std::size_t>(clip.format.sampleRate) / 20);
        const std::uint8_t* base = clip.data->data() + clip.offset;
        bool failed = frames == 0;
        do {
            std::size_t done = 0;
            while (!failed && done < frames && !stopping_) {
                const auto n = static_cast<snd_pcm_uframes_t>(std::min(chunk, frames - done));
                snd_pcm_sframes_t w = snd_pcm_writei(pcm, base + done * frameBytes, n);
                if (w < 0)
                    w = snd_pcm_recover(pcm, static_cast<int>(w), 1) < 0 ? -1 : 0;
                if (w < 0)
                    failed = true;
                else
                    done += static_cast<std::size_t>(w);
            }
        } while (mode == AudioPlayMode::Loop && !failed && !stopping_);
        if (stopping_ || failed)
            snd_pcm_drop(pcm);
        else
            snd_pcm_drain(pcm);
        snd_pcm_close(pcm);
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        done_.notify_all();
    }

    std::mutex stopMutex_; // guards worker_: one start or stop at a time
    std::mutex mutex_;
    std::condition_variable done_;
    std::thread worker_;
    std::atomic<bool> stopping_{false};
    std::uintptr_t owner_ = 0;
    bool finished_ = true;
    std::atomic<bool> missingReported_{false};
};

} // namespace

std::unique_ptr<AudioOutput> makeAlsaAudioOutput() { return std::make_unique<AlsaAudioOutput>(); }

} // namespace kyd::platform

#else

namespace kyd::platform {
std::unique_ptr<AudioOutput> makeAlsaAudioOutput() { return nullptr; }
} // namespace kyd::platform

#endif
