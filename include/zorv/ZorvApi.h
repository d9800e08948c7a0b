#pragma once
// The public interface of ZorvDll: 27 plain functions that program and read the cards by card
// index. Callers load the library by file name ("ZORVDLL.DLL" on Windows, "libZORVDLL.so" on
// Linux) and resolve each function by its exact name; the function-pointer types below are
// for that. The library keeps no pointer it is given: every record and buffer stays the
// caller's. This header is C (C99 and later) and C++ alike.
//
// Binary interface, for callers in any language:
// - Names are undecorated, also on 32-bit Windows, and exactly as declared here (note the
//   doubled "Get" in ZorvApiGetGetOffsetFrequency and the capital S in
//   ZorvApiGetBitSyncOperationalStatus).
// - Calling convention: stdcall (callee removes the arguments) on 32-bit Windows, the
//   platform's C convention elsewhere. Every argument is 32 bits wide or a pointer.
// - Booleans are 8-bit, true when non-zero. Integers are little-endian.
//
// BitsyncSetup (zorv/BitsyncSetup.h), 36 bytes, no padding:
//   offset  0  Model          int32    0 to 5 (model table)
//   offset  4  InputSource    int32    0 to 11 (0 to 3 on a card without command read-back)
//   offset  8  InputCode      int32    0 to 31
//   offset 12  OutputCode     int32    0 to 18
//   offset 16  LoopBandwidth  int32    0 to 7 (eight-entry loop bandwidth table)
//   offset 20  BitRate        uint32   bits per second, at most 99,999,999
//   offset 24  BitDecisionDetector, 25 QuickReactMode (reported only), 26
//              StartupAutoTestEnabled, 27 Pattern15Bit, 28 NrzlDcOutputDisabledAtSymbolUnlock,
//              29 NrzlDcOutputDisabledAtEsNo5Db, 30 PcmEncoderOutputDisabledAtSymbolUnlock,
//              31 PcmEncoderOutputDisabledAtEsNo5Db, 32 BerTestingEnabled, 33 ExtBerMode,
//              34 KnownErrorMode, 35 Do90DegClkOut: one 8-bit boolean each
//
// IrigSetup (zorv/IrigSetup.h), 12 bytes:
//   offset  0  SourceFormat     int32  0 IRIG B, 1 IRIG A, 2 IRIG G
//   offset  4  SourceExternal   8-bit boolean: decode the external input (else internal clock)
//   offset  5  FlywheelEnabled  8-bit boolean
//   offset  6  2 bytes padding
//   offset  8  GeneratorFormat  int32  coded like SourceFormat
//
// Calling order: load the library (it finds and opens the cards), ZorvApiOpen once, then the
// other functions for indexes below the card count it reported, ZorvApiClose before unloading.
// Every function but ZorvApiClose returns one of the result codes below. A failed check (codes
// 1 to 5 and 12) leaves the out-values as they were (the FSP option flag excepted: it is
// cleared first). When the operation itself fails (codes 7 to 26) an out-value may hold what
// was written before the failure (ZorvApiGetIrigNowtime 0, ZorvApiGetBitsyncStatus the error
// or does-not-exist status, another read what it had written): take it as not read.
// A null pointer for a record or an out-value is refused: after the checks that answer codes 1
// to 5 and 12, the function returns its own failure code (kZorvApiNoBitsync for
// ZorvApiGetBitsyncMaxInputSource and the FSP functions) and writes through none of its
// pointers. ZorvApiOpen then returns kZorvApiNotOpen (kZorvApiDosMode in DOS mode), writes
// nothing and leaves the API as it was.

#include <stdint.h>

#include "zorv/BitsyncSetup.h"
#include "zorv/IrigSetup.h"

#if defined(_WIN32) && !defined(_WIN64)
#define ZORVAPI_CALL __stdcall
#else
#define ZORVAPI_CALL
#endif

// The library is built with ZORVDLL_BUILDING defined and everything else hidden, so that it
// exports these functions and nothing more. On Windows the module definition file alone names
// the exports, under their plain names. Callers bind at run time and need no import
// declaration.
#if defined(ZORVDLL_BUILDING) && !defined(_WIN32)
#define ZORVAPI_EXPORT __attribute__((visibility("default")))
#else
#define ZORVAPI_EXPORT
#endif

// The constants below: typed constants in C++, enumeration constants (int) in C.
#ifdef __cplusplus
#define ZORVAPI_CONSTANT(name, value) inline constexpr int32_t name = value
#else
#define ZORVAPI_CONSTANT(name, value) enum { name = value }
#endif

// Result codes (code 6 is never returned).
ZORVAPI_CONSTANT(kZorvApiSuccess, 0);
// A card was found with its bridge in DOS mode: reboot the machine. Returned by every function,
// before any other check, while the library is loaded.
ZORVAPI_CONSTANT(kZorvApiDosMode, 1);
ZORVAPI_CONSTANT(kZorvApiNotOpen, 2);
ZORVAPI_CONSTANT(kZorvApiBadCardIndex, 3);
ZORVAPI_CONSTANT(kZorvApiNoIrig, 4);
// Also the failure code of the four FSP functions.
ZORVAPI_CONSTANT(kZorvApiNoBitsync, 5);
ZORVAPI_CONSTANT(kZorvApiIrigStatusFailed, 7);
ZORVAPI_CONSTANT(kZorvApiIrigNowtimeFailed, 8);
ZORVAPI_CONSTANT(kZorvApiIrigSetupFailed, 9);
ZORVAPI_CONSTANT(kZorvApiBitsyncStatusFailed, 10);
ZORVAPI_CONSTANT(kZorvApiBitsyncSetupFailed, 11);
ZORVAPI_CONSTANT(kZorvApiNotReadbackCapable, 12);
ZORVAPI_CONSTANT(kZorvApiOptionsFailed, 13);
ZORVAPI_CONSTANT(kZorvApiProgrammedBitRateFailed, 14);
ZORVAPI_CONSTANT(kZorvApiProgrammedInputCodeFailed, 15);
ZORVAPI_CONSTANT(kZorvApiProgrammedOutputCodeFailed, 16);
ZORVAPI_CONSTANT(kZorvApiProgrammedLoopBwFailed, 17);
ZORVAPI_CONSTANT(kZorvApiOperationalStatusFailed, 18);
ZORVAPI_CONSTANT(kZorvApiBitFailed, 19);
ZORVAPI_CONSTANT(kZorvApiBitCountFailed, 20);
ZORVAPI_CONSTANT(kZorvApiErrorCountFailed, 21);
ZORVAPI_CONSTANT(kZorvApiOffsetFrequencyFailed, 22);
ZORVAPI_CONSTANT(kZorvApiSignalVoltageFailed, 23);
ZORVAPI_CONSTANT(kZorvApiEsNoFailed, 24);
ZORVAPI_CONSTANT(kZorvApiLinkAnalysisStatusFailed, 25);
ZORVAPI_CONSTANT(kZorvApiQuickReactFailed, 26);

// Lock status of ZorvApiGetBitsyncStatus; the operator program's names in quotes.
ZORVAPI_CONSTANT(kZorvApiLockNoClockNoSignal, 0);  // "NOCLK_NOSIG"
ZORVAPI_CONSTANT(kZorvApiLockSearch, 1);           // "SEARCH"
ZORVAPI_CONSTANT(kZorvApiLockLocked, 2);           // "LOCK"
// Another caller's transaction held the module for 300 ms, so the status was not read.
ZORVAPI_CONSTANT(kZorvApiLockBusy, 3);          // "LOCK"
ZORVAPI_CONSTANT(kZorvApiLockError, 4);         // "ERROR"
ZORVAPI_CONSTANT(kZorvApiLockDoesNotExist, 5);  // "DOES NOT EXIST"
ZORVAPI_CONSTANT(kZorvApiLockStatusCount, 6);

// IRIG reader status of ZorvApiGetIrigStatus.
ZORVAPI_CONSTANT(kZorvApiIrigBusy, 2);
ZORVAPI_CONSTANT(kZorvApiIrigError, 4);
ZORVAPI_CONSTANT(kZorvApiIrigReady, 5);  // neither busy nor in error

// The most cards the library opens; the per-card arrays of ZorvApiOpen need this many entries.
ZORVAPI_CONSTANT(kZorvApiMaxCards, 8);
// The three text functions write at most seven characters and a terminator; the library does
// not know the buffer's size, so callers give at least this many bytes.
ZORVAPI_CONSTANT(kZorvApiMinTextBuffer, 8);

// Declares an export and its function-pointer type for binding by name (ZorvApiOpenFn, ...),
// from one signature so that the two can never drift apart.
#define ZORVAPI_FUNCTION(result, name, parameters)    \
  ZORVAPI_EXPORT result ZORVAPI_CALL name parameters; \
  typedef result(ZORVAPI_CALL* name##Fn) parameters

#ifdef __cplusplus
extern "C" {
#endif

// Reports the DOS-mode flag and the card count, fills one entry per card of each array
// (bitsync count 1 or 0; the second array always 0) and opens the API.
// (clang-format would take the first parameter for a multiplication.)
// clang-format off
ZORVAPI_FUNCTION(int32_t, ZorvApiOpen,
                 (uint8_t* dos_mode, int32_t* card_count, int32_t* bitsync_counts,
                  int32_t* reserved));
// clang-format on
// Locks the API again; the cards stay open until the library is unloaded.
ZORVAPI_FUNCTION(void, ZorvApiClose, (void));

// IRIG reader status: kZorvApiIrigBusy, kZorvApiIrigError or kZorvApiIrigReady.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetIrigStatus, (int32_t card, int32_t* status));
// The decoded time of year in seconds (day 1 = January 1st).
ZORVAPI_FUNCTION(int32_t, ZorvApiGetIrigNowtime, (int32_t card, double* seconds));
ZORVAPI_FUNCTION(int32_t, ZorvApiLoadIrigSetup, (int32_t card, const IrigSetup* setup));

// Lock status, one of the kZorvApiLock codes.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncStatus, (int32_t card, int32_t* status));
// 11 on a card with command read-back, else 3.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncMaxInputSource,
                 (int32_t card, int32_t* max_input_source));
// Programs the whole setup with the card's stored quick-react mode.
ZORVAPI_FUNCTION(int32_t, ZorvApiLoadBitsyncSetup, (int32_t card, const BitsyncSetup* setup));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncOptions,
                 (int32_t card, uint8_t* option_20_mbit, uint8_t* option_ber_test));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncFirmware,
                 (int32_t card, int32_t* version_high, int32_t* version_low));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncProgrammedBitRate, (int32_t card, uint32_t* bit_rate));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncProgrammedInputCode,
                 (int32_t card, int32_t* input_code));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncProgrammedOutputCode,
                 (int32_t card, int32_t* output_code));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitsyncProgrammedLoopBw,
                 (int32_t card, uint8_t* loop_bandwidth));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBitSyncOperationalStatus,
                 (int32_t card, uint8_t* status1, uint8_t* status2, uint8_t* status3,
                  uint8_t* status4));
// The five built-in test result bytes.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBIT,
                 (int32_t card, uint8_t* bit1, uint8_t* bit2, uint8_t* bit3, uint8_t* bit4,
                  uint8_t* bit5));
// 30 significant bits.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetLinkAnalysisBitCount, (int32_t card, uint32_t* bit_count));
// 24 significant bits.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetLinkAnalysisErrorCount, (int32_t card, uint32_t* error_count));
// PRN correlator locked, PRN correlator history, error count overflow.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetLinkAnalysisOperationalStatus,
                 (int32_t card, uint8_t* status1, uint8_t* status2, uint8_t* status3));
// The three measurements as the module sends them (up to seven characters, e.g. "12.3 dB"),
// zero-terminated; copied into the buffer only on success.
ZORVAPI_FUNCTION(int32_t, ZorvApiGetGetOffsetFrequency, (int32_t card, char* text));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetSignalVoltage, (int32_t card, char* text));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetEstimatedEsNo, (int32_t card, char* text));
// Only the low 8 bits of the mode count. The card keeps the mode for later setup loads even
// when the module does not take it.
ZORVAPI_FUNCTION(int32_t, ZorvApiSetBitsyncQuickReactMode, (int32_t card, int32_t mode));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBsEnableFspOption, (int32_t card, uint8_t* fsp_option));
// F1 to F5 are passed to the module unchanged and in this order.
ZORVAPI_FUNCTION(int32_t, ZorvApiEnableBsFspSigQualMode,
                 (int32_t card, int32_t f1, int32_t f2, int32_t f3, int32_t f4, int32_t f5));
ZORVAPI_FUNCTION(int32_t, ZorvApiDisableBsFspSigQualMode, (int32_t card));
ZORVAPI_FUNCTION(int32_t, ZorvApiGetBsFspCount, (int32_t card, uint16_t* fsp_count));

#ifdef __cplusplus
}  // extern "C"
#endif

// Every export once, as X(name, short name): the order in which the operator program binds
// them, ZorvApiGetBitsyncFirmware (which it does not need) last. Binding code expands this
// list instead of writing the names out again; the short name is the name without its prefix.
#define ZORVAPI_EXPORTS(X)                                                     \
  X(ZorvApiOpen, Open)                                                         \
  X(ZorvApiClose, Close)                                                       \
  X(ZorvApiGetIrigStatus, GetIrigStatus)                                       \
  X(ZorvApiGetIrigNowtime, GetIrigNowtime)                                     \
  X(ZorvApiLoadIrigSetup, LoadIrigSetup)                                       \
  X(ZorvApiGetBitsyncMaxInputSource, GetBitsyncMaxInputSource)                 \
  X(ZorvApiGetBitsyncStatus, GetBitsyncStatus)                                 \
  X(ZorvApiLoadBitsyncSetup, LoadBitsyncSetup)                                 \
  X(ZorvApiGetBitsyncOptions, GetBitsyncOptions)                               \
  X(ZorvApiGetBitsyncProgrammedBitRate, GetBitsyncProgrammedBitRate)           \
  X(ZorvApiGetBitsyncProgrammedInputCode, GetBitsyncProgrammedInputCode)       \
  X(ZorvApiGetBitsyncProgrammedOutputCode, GetBitsyncProgrammedOutputCode)     \
  X(ZorvApiGetBitsyncProgrammedLoopBw, GetBitsyncProgrammedLoopBw)             \
  X(ZorvApiGetBitSyncOperationalStatus, GetBitSyncOperationalStatus)           \
  X(ZorvApiGetBIT, GetBIT)                                                     \
  X(ZorvApiGetLinkAnalysisBitCount, GetLinkAnalysisBitCount)                   \
  X(ZorvApiGetLinkAnalysisErrorCount, GetLinkAnalysisErrorCount)               \
  X(ZorvApiGetGetOffsetFrequency, GetGetOffsetFrequency)                       \
  X(ZorvApiGetSignalVoltage, GetSignalVoltage)                                 \
  X(ZorvApiGetEstimatedEsNo, GetEstimatedEsNo)                                 \
  X(ZorvApiGetLinkAnalysisOperationalStatus, GetLinkAnalysisOperationalStatus) \
  X(ZorvApiSetBitsyncQuickReactMode, SetBitsyncQuickReactMode)                 \
  X(ZorvApiGetBsEnableFspOption, GetBsEnableFspOption)                         \
  X(ZorvApiEnableBsFspSigQualMode, EnableBsFspSigQualMode)                     \
  X(ZorvApiDisableBsFspSigQualMode, DisableBsFspSigQualMode)                   \
  X(ZorvApiGetBsFspCount, GetBsFspCount)                                       \
  X(ZorvApiGetBitsyncFirmware, GetBitsyncFirmware)

#define ZORVAPI_COUNT_ONE(name, short_name) +1
ZORVAPI_CONSTANT(kZorvApiExportCount, 0 ZORVAPI_EXPORTS(ZORVAPI_COUNT_ONE));
#undef ZORVAPI_COUNT_ONE
// The list names every export once (an array of negative size stops the build otherwise: C99
// has no static_assert).
typedef char ZorvApiExportsListedOnce[kZorvApiExportCount == 27 ? 1 : -1];

#undef ZORVAPI_FUNCTION
#undef ZORVAPI_CONSTANT
