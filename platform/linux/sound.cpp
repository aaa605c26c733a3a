// The speaker tone: a sine wave of the given frequency and length played on
// ALSA's "default" device. The call returns only once the length has passed,
// whether or not there is a sound device to play on.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/linux/platform_log.h"
#include "platform/win32.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned sample_rate = 48000;
constexpr unsigned latency_us = 50000;
constexpr snd_pcm_uframes_t chunk_frames = 1024;
constexpr double amplitude = 0.5 * 32767;
constexpr double two_pi = 6.283185307179586;

// The frequencies the system's Beep accepts.
constexpr DWORD lowest_frequency = 37;
constexpr DWORD highest_frequency = 32767;

// A missing or busy sound device is no error here: stay quiet about it.
void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}

void play_tone(DWORD frequency, DWORD duration_ms) {
    snd_lib_error_set_handler(ignore_alsa_error);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        return;
    }
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, sample_rate, 1,
                           latency_us) == 0) {
        const snd_pcm_uframes_t total = static_cast<snd_pcm_uframes_t>(sample_rate) * duration_ms / 1000;
        const double step = two_pi * frequency / sample_rate;
        std::vector<int16_t> chunk(chunk_frames);
        snd_pcm_uframes_t written = 0;
        bool failed = false;
        while (written < total && !failed) {
            const snd_pcm_uframes_t count = std::min(chunk_frames, total - written);
            for (snd_pcm_uframes_t i = 0; i < count; ++i) {
                chunk[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(step * (written + i))));
            }
            snd_pcm_sframes_t done = snd_pcm_writei(pcm, chunk.data(), count);
            if (done < 0) {
                done = snd_pcm_recover(pcm, static_cast<int>(done), 1);
                failed = done < 0;
                continue;
            }
            written += static_cast<snd_pcm_uframes_t>(done);
        }
        if (!failed) {
            snd_pcm_drain(pcm);
        }
    }
    snd_pcm_close(pcm);
}

}  // namespace

BOOL Beep(DWORD frequency, DWORD duration_ms) {
    platform_log("Beep frequency=%u ms=%u", static_cast<unsigned>(frequency), static_cast<unsigned>(duration_ms));
    if (frequency < lowest_frequency || frequency > highest_frequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(duration_ms);
    play_tone(frequency, duration_ms);
    std::this_thread::sleep_until(end);
    return TRUE;
}
