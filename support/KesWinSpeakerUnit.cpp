#include "support/KesWinSpeakerUnit.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/tones.h"

namespace {

constexpr uint32_t kLowestFrequency = 37;  // the speaker sounds nothing lower

std::mutex speaker_guard;
std::unique_ptr<kesspeakerclass> process_speaker;

}  // namespace

kesspeakerclass::kesspeakerclass() {
  platform::Beep(0, 0);
  silent = platform::EnvironmentVariable("ZORV_SILENT") == "1";
}

kesspeakerclass::~kesspeakerclass() {
  platform::Beep(0, 0);
}

void kesspeakerclass::Tone(uint32_t frequency, uint32_t duration_ms) {
  if (silent) return;
  platform::Beep(std::max(frequency, kLowestFrequency), duration_ms);
}

void kesspeakerclass::TwoTone() {
  if (silent) return;
  Tone(800, 50);
  Tone(700, 50);
}

void kesspeakerclass::LowPair() {
  if (silent) return;
  Tone(100, 50);
  Tone(250, 10);
}

void kesspeakerclass::DoubleLowPair() {
  if (silent) return;
  LowPair();
  platform::clock().Sleep(100);
  LowPair();
}

kesspeakerclass& ProcessSpeaker() {
  std::lock_guard lock(speaker_guard);
  if (!process_speaker) process_speaker = std::make_unique<kesspeakerclass>();
  return *process_speaker;
}

void CreateProcessSpeaker() {
  std::lock_guard lock(speaker_guard);
  process_speaker = std::make_unique<kesspeakerclass>();
}

void DestroyProcessSpeaker() {
  std::lock_guard lock(speaker_guard);
  process_speaker.reset();
}

void ClickBeep() {
  ProcessSpeaker().Tone(1, 1);
}

void NoticeBeep() {
  ProcessSpeaker().TwoTone();
}

void ErrorBeep() {
  ProcessSpeaker().DoubleLowPair();
}
