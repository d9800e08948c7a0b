#pragma once
// The IRIG setup record. The operator program owns it and passes it by pointer to
// ZorvApiLoadIrigSetup; programs in other languages declare it themselves, so its layout is
// part of the library's interface and must never change:
//
//   offset 0  SourceFormat     32-bit signed  IRIG code: 0 IRIG B, 1 IRIG A, 2 IRIG G
//   offset 4  SourceExternal   8-bit boolean  1: decode the external input; 0: internal clock
//                                             seeded with the PC's local time
//   offset 5  FlywheelEnabled  8-bit boolean  keep time running when the signal is lost
//   offset 6  (2 bytes padding)
//   offset 8  GeneratorFormat  32-bit signed  IRIG code of the generator output, coded like
//                                             SourceFormat (the reader does not use it)
//   12 bytes in all: natural C alignment, no packing pragma.

#include <stddef.h>
#include <stdint.h>

typedef struct IrigSetup {
  int32_t SourceFormat;
  uint8_t SourceExternal;
  uint8_t FlywheelEnabled;
  int32_t GeneratorFormat;
} IrigSetup;

// Checked as BitsyncSetup's layout is (see there).
typedef char IrigSetupLayoutAsDocumented[(sizeof(IrigSetup) == 12 &&
                                          offsetof(IrigSetup, SourceFormat) == 0 &&
                                          offsetof(IrigSetup, SourceExternal) == 4 &&
                                          offsetof(IrigSetup, FlywheelEnabled) == 5 &&
                                          offsetof(IrigSetup, GeneratorFormat) == 8)
                                             ? 1
                                             : -1];
