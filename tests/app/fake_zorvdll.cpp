// Every export of ZorvDll but ZorvApiGetBsFspCount (fake_zorvdll_fsp_count.cpp).

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/app/FakeZorvDll.h"

FakeZorvDllState& FakeState() {
  static FakeZorvDllState state;
  return state;
}

FakeZorvDllState* FakeZorvDllControl() {
  return &FakeState();
}

int32_t FakeAnswer(int32_t card) {
  FakeZorvDllState& state = FakeState();
  if (state.stalled_card == card) {
    ++state.stalled_calls;
    while (state.stalled_card == card) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --state.stalled_calls;
  }
  ++state.per_card_calls;
  state.last_card = card;
  return state.result;
}

namespace {

template <typename T>
int32_t AnswerWith(int32_t card, T* out, T value) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *out = value;
  return result;
}

int32_t AnswerText(int32_t card, char* text) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) std::strcpy(text, FakeState().value_text);
  return result;
}

}  // namespace

int32_t ZORVAPI_CALL ZorvApiOpen(uint8_t* dos_mode, int32_t* card_count, int32_t* bitsync_counts,
                                 int32_t* reserved) {
  FakeZorvDllState& state = FakeState();
  ++state.open_calls;
  *dos_mode = 0;
  *card_count = state.card_count;
  for (int32_t i = 0; i < std::min(state.card_count, kZorvApiMaxCards); ++i) {
    bitsync_counts[i] = 1;
    reserved[i] = 0;
  }
  return kZorvApiSuccess;
}

void ZORVAPI_CALL ZorvApiClose(void) {
  ++FakeState().close_calls;
}

int32_t ZORVAPI_CALL ZorvApiGetIrigStatus(int32_t card, int32_t* status) {
  return AnswerWith(card, status, 5);
}

int32_t ZORVAPI_CALL ZorvApiGetIrigNowtime(int32_t card, double* seconds) {
  return AnswerWith(card, seconds, FakeState().irig_time);
}

int32_t ZORVAPI_CALL ZorvApiLoadIrigSetup(int32_t card, const IrigSetup* setup) {
  const int32_t result = FakeAnswer(card);
  FakeZorvDllState& state = FakeState();
  if (result == kZorvApiSuccess && state.irig_setup_loads < state.kSetupHistory) {
    state.irig_setups[state.irig_setup_loads++] = *setup;
  }
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncStatus(int32_t card, int32_t* status) {
  return AnswerWith(card, status, FakeState().bitsync_status);
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncMaxInputSource(int32_t card, int32_t* max_input_source) {
  ++FakeState().max_input_source_queries;
  if (card >= FakeState().card_count) return kZorvApiBadCardIndex;
  *max_input_source = FakeState().max_input_source;
  return kZorvApiSuccess;
}

int32_t ZORVAPI_CALL ZorvApiLoadBitsyncSetup(int32_t card, const BitsyncSetup* setup) {
  const int32_t result = FakeAnswer(card);
  FakeZorvDllState& state = FakeState();
  if (result == kZorvApiSuccess && state.bitsync_setup_loads < state.kSetupHistory) {
    state.bitsync_setups[state.bitsync_setup_loads++] = *setup;
  }
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncOptions(int32_t card, uint8_t* option_20_mbit,
                                              uint8_t* option_ber_test) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) {
    *option_20_mbit = 1;
    *option_ber_test = FakeState().option_ber_test;
  }
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncFirmware(int32_t card, int32_t* version_high,
                                               int32_t* version_low) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *version_high = *version_low = 146;
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedBitRate(int32_t card, uint32_t* bit_rate) {
  return AnswerWith(card, bit_rate, 1024000u);
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedInputCode(int32_t card, int32_t* input_code) {
  return AnswerWith(card, input_code, 0);
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedOutputCode(int32_t card, int32_t* output_code) {
  return AnswerWith(card, output_code, 0);
}

int32_t ZORVAPI_CALL ZorvApiGetBitsyncProgrammedLoopBw(int32_t card, uint8_t* loop_bandwidth) {
  return AnswerWith(card, loop_bandwidth, uint8_t{2});
}

int32_t ZORVAPI_CALL ZorvApiGetBitSyncOperationalStatus(int32_t card, uint8_t* status1,
                                                        uint8_t* status2, uint8_t* status3,
                                                        uint8_t* status4) {
  ++FakeState().poll_group_reads;
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *status1 = *status2 = *status3 = *status4 = 1;
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBIT(int32_t card, uint8_t* bit1, uint8_t* bit2, uint8_t* bit3,
                                   uint8_t* bit4, uint8_t* bit5) {
  ++FakeState().poll_group_reads;
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *bit1 = *bit2 = *bit3 = *bit4 = *bit5 = 0x5A;
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisBitCount(int32_t card, uint32_t* bit_count) {
  return AnswerWith(card, bit_count, FakeState().bit_count);
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisErrorCount(int32_t card, uint32_t* error_count) {
  return AnswerWith(card, error_count, 7u);
}

int32_t ZORVAPI_CALL ZorvApiGetLinkAnalysisOperationalStatus(int32_t card, uint8_t* status1,
                                                             uint8_t* status2, uint8_t* status3) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *status1 = *status2 = *status3 = 1;
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetGetOffsetFrequency(int32_t card, char* text) {
  return AnswerText(card, text);
}

int32_t ZORVAPI_CALL ZorvApiGetSignalVoltage(int32_t card, char* text) {
  return AnswerText(card, text);
}

int32_t ZORVAPI_CALL ZorvApiGetEstimatedEsNo(int32_t card, char* text) {
  return AnswerText(card, text);
}

int32_t ZORVAPI_CALL ZorvApiSetBitsyncQuickReactMode(int32_t card, int32_t mode) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) FakeState().quick_react_mode = mode;
  return result;
}

int32_t ZORVAPI_CALL ZorvApiGetBsEnableFspOption(int32_t card, uint8_t* fsp_option) {
  return AnswerWith(card, fsp_option, FakeState().fsp_option);
}

int32_t ZORVAPI_CALL ZorvApiEnableBsFspSigQualMode(int32_t card, int32_t, int32_t, int32_t, int32_t,
                                                   int32_t) {
  return FakeAnswer(card);
}

int32_t ZORVAPI_CALL ZorvApiDisableBsFspSigQualMode(int32_t card) {
  return FakeAnswer(card);
}
