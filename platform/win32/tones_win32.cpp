#include "platform/clock.h"
#include "platform/tones.h"
#include "windows_api.h"

namespace platform {

void Beep(uint32_t frequency_hz, uint32_t duration_ms) {
  if (frequency_hz == 0 || duration_ms == 0) return;
  const int64_t start = clock().MonotonicNanoseconds();
  // Beep returns when the speaker has sounded the tone, or at once where there is no speaker
  // (Wine, PCs without a beeper); the installed clock waits out what remains, so that a tone
  // takes its duration on every clock.
  ::Beep(frequency_hz, duration_ms);
  const int64_t sounded_ms = (clock().MonotonicNanoseconds() - start) / 1'000'000;
  if (sounded_ms < duration_ms) clock().Sleep(static_cast<uint32_t>(duration_ms - sounded_ms));
}

}  // namespace platform
