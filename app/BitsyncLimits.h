#pragma once
// Limits the operator program keeps a bit synchronizer setup within.

#include <cstdint>

#include "zorv/BitsyncSetup.h"

// The lowest bit rate the operator may set.
inline constexpr uint32_t kMinimumBitRate = 10;

// The highest bit rate the module runs for a model and input code: 25 Mbit/s for models 0 and
// 3, else 10 Mbit/s; half that for the biphase input codes ("BIOL", "BIOM", "BIOS",
// "INV_BIOL"), whose symbol rate is twice the bit rate.
uint32_t MaximumBitRate(int32_t model, int32_t input_code);

// The widest loop bandwidth code a bit rate allows (smaller codes are wider); 0 for a rate
// outside the module's range.
int32_t WidestLoopBandwidth(uint32_t bit_rate);

// The bitsync panel's alternate models: any but 0 and 1. They are offered the finer loop
// bandwidth table and no output code, and keep their loop bandwidth whatever the bit rate.
// (Setup files know the finer table for models 2 and 3 only.)
bool IsAlternateBitsyncModel(int32_t model);

// Narrows a loop bandwidth wider than the bit rate allows to the widest allowed, saying so in
// the log and with two clicks. Not for alternate models, and never with the marker file, whose
// stations choose their bandwidth themselves. True when the code changed.
bool ApplyBandwidthLimit(BitsyncSetup& setup, bool marker_file);

// Stores the input code; a bit rate above what the code allows is lowered to that maximum and
// the bandwidth limit applied.
void ChooseInputCode(BitsyncSetup& setup, int32_t input_code, bool marker_file);
