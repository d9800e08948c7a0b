#pragma once
// The 27 exports as a table that tests walk: every export that takes a card index, called with
// harmless arguments, its own failure code, and the out-values it may write. Shared by the
// tests that load the built library and those that drive the library frame in-process.

#include <cstdint>
#include <functional>
#include <vector>

#include "zorv/ZorvApi.h"

namespace zorv_e2e {

struct ZorvApiTable {
#define ZORV_TABLE_ENTRY(name, short_name) name##Fn name = nullptr;
  ZORVAPI_EXPORTS(ZORV_TABLE_ENTRY)
#undef ZORV_TABLE_ENTRY
};

// Everything an export may write, filled with a pattern before each call, so that a test can
// see whether a call wrote anything.
struct OutValues {
  int32_t int32[2];
  uint32_t uint32;
  double seconds;
  uint8_t bytes[5];
  char text[32];
  uint16_t fsp_count;
};
OutValues PatternedOutValues();
bool SameBytes(const OutValues& a, const OutValues& b);

// The pointers of one call: into `out`, but the one at position `null_at` (counted from 0 in
// the export's argument order) is null.
struct CallPointers {
  OutValues& out;
  int null_at = -1;

  template <typename T>
  T* operator()(int position, T* pointer) const {
    return position == null_at ? nullptr : pointer;
  }
};

// The part of the card an export needs: the IRIG reader; the bitsync; the bitsync on a card
// with command read-back; or that and the FSP option.
enum class ExportGroup { kIrig, kBitsync, kReadback, kFsp };

// What an export asks of the bitsync module beyond its status register: nothing, commands
// (strobed, no reply), or a reply.
enum class ModuleExchange { kNone, kCommands, kReply };

// One export that takes a card index.
struct PerCardExport {
  const char* name;
  ExportGroup group;
  ModuleExchange exchange;
  int32_t failure;  // the code it returns when its operation fails
  int pointers;     // how many pointer arguments (records and out-values) it takes
  std::function<int32_t(const ZorvApiTable&, int32_t card, const CallPointers&)> call;
};
// The 25 exports that take a card index, in the header's order (the options read comes before
// the FSP functions, which need it).
const std::vector<PerCardExport>& PerCardExports();

// A code that stops a call before its work, so that it writes no out-value.
bool StopsBeforeItsWork(int32_t code);

// Calls every export for the card; each must return `expected(export)` and, when that code
// stops it early, leave the out-values alone (the FSP option flag is cleared first). Returns
// the longest call on platform::clock(), in milliseconds, and its export.
struct LongestCall {
  const char* name = "";
  double milliseconds = 0;
};
LongestCall ExpectCodes(const ZorvApiTable& api, int32_t card,
                        const std::function<int32_t(const PerCardExport&)>& expected);

}  // namespace zorv_e2e
