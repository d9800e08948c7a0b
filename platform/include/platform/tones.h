#pragma once
// Speaker tones.

#include <cstdint>

namespace platform {

// Sounds a tone and returns when its duration has passed. Windows sounds it with Beep, which
// takes the time itself. Elsewhere the tone goes to the desktop's sound server when one is
// reachable and the duration is slept on platform::clock(); without a server the call is
// silent but takes the same time. A frequency or duration of 0 sounds nothing.
void Beep(uint32_t frequency_hz, uint32_t duration_ms);

}  // namespace platform
