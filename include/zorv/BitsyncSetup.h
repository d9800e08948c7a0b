#pragma once
// The bit synchronizer setup record. The operator program owns it and passes it by pointer to
// ZorvApiLoadBitsyncSetup; programs in other languages declare it themselves, so its layout is
// part of the library's interface and must never change: nine 32-bit words, little-endian,
// natural C alignment, no padding, no packing pragma.
//
//   offset  0  Model          32-bit signed    row of the model table (0 to 5)
//   offset  4  InputSource    32-bit signed    0 to 11 (0 to 3 without command read-back)
//   offset  8  InputCode      32-bit signed    row of the input code table (0 to 31)
//   offset 12  OutputCode     32-bit signed    row of the output code table (0 to 18)
//   offset 16  LoopBandwidth  32-bit signed    row of the eight-entry loop bandwidth table
//   offset 20  BitRate        32-bit unsigned  bits per second, at most 99,999,999
//   offsets 24 to 35: twelve 8-bit flags, true when non-zero, in the order declared below.
//   QuickReactMode is reported only: the card programs its own stored quick-react mode.

#include <stddef.h>
#include <stdint.h>

typedef struct BitsyncSetup {
  int32_t Model;
  int32_t InputSource;
  int32_t InputCode;
  int32_t OutputCode;
  int32_t LoopBandwidth;
  uint32_t BitRate;
  uint8_t BitDecisionDetector;
  uint8_t QuickReactMode;
  uint8_t StartupAutoTestEnabled;
  uint8_t Pattern15Bit;  // 15-bit pseudo-random test pattern when set, 11-bit when clear
  uint8_t NrzlDcOutputDisabledAtSymbolUnlock;
  uint8_t NrzlDcOutputDisabledAtEsNo5Db;
  uint8_t PcmEncoderOutputDisabledAtSymbolUnlock;
  uint8_t PcmEncoderOutputDisabledAtEsNo5Db;
  uint8_t BerTestingEnabled;
  uint8_t ExtBerMode;  // the test pattern comes from outside
  uint8_t KnownErrorMode;
  uint8_t Do90DegClkOut;
} BitsyncSetup;

// The layout above, checked by every compiler that includes this header, C99 ones too: they
// have no static_assert, so a mismatch gives an array of negative size, which stops the build.
typedef char BitsyncSetupLayoutAsDocumented
    [(sizeof(BitsyncSetup) == 36 && offsetof(BitsyncSetup, Model) == 0 &&
      offsetof(BitsyncSetup, InputSource) == 4 && offsetof(BitsyncSetup, InputCode) == 8 &&
      offsetof(BitsyncSetup, OutputCode) == 12 && offsetof(BitsyncSetup, LoopBandwidth) == 16 &&
      offsetof(BitsyncSetup, BitRate) == 20 && offsetof(BitsyncSetup, BitDecisionDetector) == 24 &&
      offsetof(BitsyncSetup, QuickReactMode) == 25 &&
      offsetof(BitsyncSetup, StartupAutoTestEnabled) == 26 &&
      offsetof(BitsyncSetup, Pattern15Bit) == 27 &&
      offsetof(BitsyncSetup, NrzlDcOutputDisabledAtSymbolUnlock) == 28 &&
      offsetof(BitsyncSetup, NrzlDcOutputDisabledAtEsNo5Db) == 29 &&
      offsetof(BitsyncSetup, PcmEncoderOutputDisabledAtSymbolUnlock) == 30 &&
      offsetof(BitsyncSetup, PcmEncoderOutputDisabledAtEsNo5Db) == 31 &&
      offsetof(BitsyncSetup, BerTestingEnabled) == 32 && offsetof(BitsyncSetup, ExtBerMode) == 33 &&
      offsetof(BitsyncSetup, KnownErrorMode) == 34 && offsetof(BitsyncSetup, Do90DegClkOut) == 35)
         ? 1
         : -1];
