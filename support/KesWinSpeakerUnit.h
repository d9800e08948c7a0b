#pragma once
// Audible signals. Every frequency, duration and pause is kept even where the platform
// cannot sound them; ZORV_SILENT=1 in the environment makes the process speaker silent.

#include <cstdint>

class kesspeakerclass {
 public:
  kesspeakerclass();
  ~kesspeakerclass();
  kesspeakerclass(const kesspeakerclass&) = delete;
  kesspeakerclass& operator=(const kesspeakerclass&) = delete;

  void Tone(uint32_t frequency, uint32_t duration_ms);
  void TwoTone();
  void LowPair();
  void DoubleLowPair();

  bool silent = false;
};

// The process's speaker (created on first use when absent); OpenErrorLog creates it and
// CloseErrorLog destroys it.
kesspeakerclass& ProcessSpeaker();
void CreateProcessSpeaker();
void DestroyProcessSpeaker();

void ClickBeep();
void NoticeBeep();
void ErrorBeep();
