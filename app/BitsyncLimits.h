#pragma once
// Limits the operator program keeps a bit synchronizer setup within.

#include <cstdint>

// The lowest bit rate the operator may set.
inline constexpr uint32_t kMinimumBitRate = 10;

// The highest bit rate the module runs for a model and input code: 25 Mbit/s for models 0 and
// 3, else 10 Mbit/s; half that for the biphase input codes ("BIOL", "BIOM", "BIOS",
// "INV_BIOL"), whose symbol rate is twice the bit rate.
uint32_t MaximumBitRate(int32_t model, int32_t input_code);
