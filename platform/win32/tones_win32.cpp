#include <windows.h>

#include "platform/tones.h"

namespace platform {

void Beep(uint32_t frequency_hz, uint32_t duration_ms) {
  if (frequency_hz == 0 || duration_ms == 0) return;
  ::Beep(frequency_hz, duration_ms);
}

}  // namespace platform
