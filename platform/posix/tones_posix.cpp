// Tones through the desktop's sound server (PulseAudio or PipeWire's Pulse service), reached
// through libpulse-simple loaded at run time so that the build does not depend on it.

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <vector>

#include "platform/clock.h"
#include "platform/tones.h"

namespace platform {
namespace {

// The few declarations of <pulse/simple.h> that are used, with the library's values.
struct pa_simple;
struct pa_sample_spec {
  int format;
  uint32_t rate;
  uint8_t channels;
};
struct pa_buffer_attr {
  uint32_t maxlength;
  uint32_t tlength;
  uint32_t prebuf;
  uint32_t minreq;
  uint32_t fragsize;
};
constexpr int kSampleS16Le = 3;     // PA_SAMPLE_S16LE
constexpr int kStreamPlayback = 1;  // PA_STREAM_PLAYBACK
constexpr uint32_t kDefault = ~0u;  // (uint32_t) -1: the server's choice
constexpr uint32_t kRate = 44100;
constexpr double kAmplitude = 0.3 * 32767;

using NewFunction = pa_simple* (*)(const char*, const char*, int, const char*, const char*,
                                   const pa_sample_spec*, const void*, const pa_buffer_attr*, int*);
using WriteFunction = int (*)(pa_simple*, const void*, size_t, int*);
using FreeFunction = void (*)(pa_simple*);

// One playback stream per process, opened at the first tone; when no server answers then,
// the process stays silent.
class SoundServer {
 public:
  ~SoundServer() {
    if (stream_) free_(stream_);
  }

  void Play(uint32_t frequency_hz, uint32_t duration_ms) {
    std::lock_guard lock(guard_);
    if (!tried_) Open();
    if (!stream_) return;
    std::vector<int16_t> samples(static_cast<size_t>(kRate) * duration_ms / 1000);
    const double step = 2 * std::numbers::pi * frequency_hz / kRate;
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int16_t>(kAmplitude * std::sin(step * static_cast<double>(i)));
    }
    int error = 0;
    if (write_(stream_, samples.data(), samples.size() * sizeof(int16_t), &error) < 0) {
      free_(stream_);
      stream_ = nullptr;
    }
  }

 private:
  void Open() {
    tried_ = true;
    void* library = ::dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    const auto open = reinterpret_cast<NewFunction>(::dlsym(library, "pa_simple_new"));
    write_ = reinterpret_cast<WriteFunction>(::dlsym(library, "pa_simple_write"));
    free_ = reinterpret_cast<FreeFunction>(::dlsym(library, "pa_simple_free"));
    if (!open || !write_ || !free_) return;
    const pa_sample_spec sample_format{kSampleS16Le, kRate, 1};
    // A short buffer that starts playing with the first sample, so that a 1 ms click sounds
    // at once instead of waiting for a full buffer.
    const pa_buffer_attr buffer{kDefault, kRate * sizeof(int16_t), sizeof(int16_t), kDefault,
                                kDefault};
    int error = 0;
    stream_ = open(nullptr, "Zorv", kStreamPlayback, nullptr, "speaker", &sample_format, nullptr,
                   &buffer, &error);
  }

  std::mutex guard_;
  bool tried_ = false;
  pa_simple* stream_ = nullptr;
  WriteFunction write_ = nullptr;
  FreeFunction free_ = nullptr;
};

SoundServer& sound_server() {
  static SoundServer instance;
  return instance;
}

}  // namespace

void Beep(uint32_t frequency_hz, uint32_t duration_ms) {
  if (frequency_hz == 0 || duration_ms == 0) return;
  const int64_t start = clock().MonotonicNanoseconds();
  sound_server().Play(frequency_hz, duration_ms);
  // The server plays the buffered samples while the caller waits out the rest of the tone (a
  // tone longer than the server's buffer has partly played while it was written).
  const int64_t written_ms = (clock().MonotonicNanoseconds() - start) / 1'000'000;
  if (written_ms < duration_ms) clock().Sleep(static_cast<uint32_t>(duration_ms - written_ms));
}

}  // namespace platform
