#pragma once
// Display names of the setup record's numbers and of the lock status, shared read-only by the
// card library and the operator program: a field's value is its row. And the setup report the
// library writes to the error log in debug mode.

#include <cstddef>

#include "zorv/BitsyncSetup.h"
#include "zorv/ZorvApi.h"

inline constexpr size_t kModelCount = 6;
inline constexpr size_t kInputSourceCount = 12;
inline constexpr size_t kInputCodeCount = 32;
inline constexpr size_t kOutputCodeCount = 19;
inline constexpr size_t kLoopBandwidthCount = 8;
inline constexpr size_t kLoopBandwidth17Count = 17;
inline constexpr size_t kLockStatusCount = kZorvApiLockStatusCount;

extern const char* const kModelNames[kModelCount];
// Input sources named by their connector pins, and plainly; rows 0 to 3 are all a module
// without command read-back takes.
extern const char* const kInputSourceNames[kInputSourceCount];
extern const char* const kInputSourcePlainNames[kInputSourceCount];
extern const char* const kInputCodeNames[kInputCodeCount];
extern const char* const kOutputCodeNames[kOutputCodeCount];
// The list whose row the module is programmed with and reports back.
extern const char* const kLoopBandwidthNames[kLoopBandwidthCount];
// The finer list some panels offer instead.
extern const char* const kLoopBandwidth17Names[kLoopBandwidth17Count];
extern const char* const kLockStatusNames[kLockStatusCount];

// Writes the nineteen-line setup report to the error log. A model without a row prints its
// number.
void PrintBitsyncSetup(BitsyncSetup setup);
