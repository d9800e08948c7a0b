#include "tests/e2e/ExportCalls.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/clock.h"

namespace zorv_e2e {

namespace {

constexpr uint8_t kPattern = 0xA5;

const IrigSetup kExternalIrigB = {0, 1, 0, 0};

BitsyncSetup PlainSetup() {
  BitsyncSetup setup{};
  setup.InputSource = 1;
  setup.InputCode = 5;
  setup.OutputCode = 7;
  setup.BitRate = 1'024'000;
  return setup;
}

}  // namespace

OutValues PatternedOutValues() {
  OutValues out;
  std::memset(&out, kPattern, sizeof out);
  return out;
}

bool SameBytes(const OutValues& a, const OutValues& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

const std::vector<PerCardExport>& PerCardExports() {
  using G = ExportGroup;
  using X = ModuleExchange;
  using P = CallPointers;
  static const BitsyncSetup setup = PlainSetup();
  static const std::vector<PerCardExport> exports = {
      {"ZorvApiGetIrigStatus", G::kIrig, X::kNone, kZorvApiIrigStatusFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetIrigStatus(c, p(0, &p.out.int32[0]));
       }},
      {"ZorvApiGetIrigNowtime", G::kIrig, X::kNone, kZorvApiIrigNowtimeFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetIrigNowtime(c, p(0, &p.out.seconds));
       }},
      {"ZorvApiLoadIrigSetup", G::kIrig, X::kNone, kZorvApiIrigSetupFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiLoadIrigSetup(c, p(0, &kExternalIrigB));
       }},
      {"ZorvApiGetBitsyncStatus", G::kBitsync, X::kNone, kZorvApiBitsyncStatusFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncStatus(c, p(0, &p.out.int32[0]));
       }},
      {"ZorvApiGetBitsyncMaxInputSource", G::kBitsync, X::kNone, kZorvApiNoBitsync, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncMaxInputSource(c, p(0, &p.out.int32[0]));
       }},
      {"ZorvApiLoadBitsyncSetup", G::kBitsync, X::kCommands, kZorvApiBitsyncSetupFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiLoadBitsyncSetup(c, p(0, &setup));
       }},
      {"ZorvApiGetBitsyncOptions", G::kReadback, X::kReply, kZorvApiOptionsFailed, 2,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncOptions(c, p(0, &p.out.bytes[0]), p(1, &p.out.bytes[1]));
       }},
      {"ZorvApiGetBitsyncFirmware", G::kReadback, X::kReply, kZorvApiOptionsFailed, 2,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncFirmware(c, p(0, &p.out.int32[0]), p(1, &p.out.int32[1]));
       }},
      {"ZorvApiGetBitsyncProgrammedBitRate", G::kReadback, X::kReply,
       kZorvApiProgrammedBitRateFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncProgrammedBitRate(c, p(0, &p.out.uint32));
       }},
      {"ZorvApiGetBitsyncProgrammedInputCode", G::kReadback, X::kReply,
       kZorvApiProgrammedInputCodeFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncProgrammedInputCode(c, p(0, &p.out.int32[0]));
       }},
      {"ZorvApiGetBitsyncProgrammedOutputCode", G::kReadback, X::kReply,
       kZorvApiProgrammedOutputCodeFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncProgrammedOutputCode(c, p(0, &p.out.int32[0]));
       }},
      {"ZorvApiGetBitsyncProgrammedLoopBw", G::kReadback, X::kReply, kZorvApiProgrammedLoopBwFailed,
       1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBitsyncProgrammedLoopBw(c, p(0, &p.out.bytes[0]));
       }},
      {"ZorvApiGetBitSyncOperationalStatus", G::kReadback, X::kReply,
       kZorvApiOperationalStatusFailed, 4,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         uint8_t* b = p.out.bytes;
         return a.ZorvApiGetBitSyncOperationalStatus(c, p(0, &b[0]), p(1, &b[1]), p(2, &b[2]),
                                                     p(3, &b[3]));
       }},
      {"ZorvApiGetBIT", G::kReadback, X::kReply, kZorvApiBitFailed, 5,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         uint8_t* b = p.out.bytes;
         return a.ZorvApiGetBIT(c, p(0, &b[0]), p(1, &b[1]), p(2, &b[2]), p(3, &b[3]), p(4, &b[4]));
       }},
      {"ZorvApiGetLinkAnalysisBitCount", G::kReadback, X::kReply, kZorvApiBitCountFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetLinkAnalysisBitCount(c, p(0, &p.out.uint32));
       }},
      {"ZorvApiGetLinkAnalysisErrorCount", G::kReadback, X::kReply, kZorvApiErrorCountFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetLinkAnalysisErrorCount(c, p(0, &p.out.uint32));
       }},
      {"ZorvApiGetLinkAnalysisOperationalStatus", G::kReadback, X::kReply,
       kZorvApiLinkAnalysisStatusFailed, 3,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         uint8_t* b = p.out.bytes;
         return a.ZorvApiGetLinkAnalysisOperationalStatus(c, p(0, &b[0]), p(1, &b[1]), p(2, &b[2]));
       }},
      {"ZorvApiGetGetOffsetFrequency", G::kReadback, X::kReply, kZorvApiOffsetFrequencyFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetGetOffsetFrequency(c, p(0, p.out.text));
       }},
      {"ZorvApiGetSignalVoltage", G::kReadback, X::kReply, kZorvApiSignalVoltageFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetSignalVoltage(c, p(0, p.out.text));
       }},
      {"ZorvApiGetEstimatedEsNo", G::kReadback, X::kReply, kZorvApiEsNoFailed, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetEstimatedEsNo(c, p(0, p.out.text));
       }},
      {"ZorvApiSetBitsyncQuickReactMode", G::kReadback, X::kCommands, kZorvApiQuickReactFailed, 0,
       [](const ZorvApiTable& a, int32_t c, const P&) {
         return a.ZorvApiSetBitsyncQuickReactMode(c, 0);
       }},
      {"ZorvApiGetBsEnableFspOption", G::kFsp, X::kNone, kZorvApiNoBitsync, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBsEnableFspOption(c, p(0, &p.out.bytes[0]));
       }},
      {"ZorvApiEnableBsFspSigQualMode", G::kFsp, X::kCommands, kZorvApiNoBitsync, 0,
       [](const ZorvApiTable& a, int32_t c, const P&) {
         return a.ZorvApiEnableBsFspSigQualMode(c, 2048, 32, 1, 65131, 10304);
       }},
      {"ZorvApiDisableBsFspSigQualMode", G::kFsp, X::kCommands, kZorvApiNoBitsync, 0,
       [](const ZorvApiTable& a, int32_t c, const P&) {
         return a.ZorvApiDisableBsFspSigQualMode(c);
       }},
      {"ZorvApiGetBsFspCount", G::kFsp, X::kNone, kZorvApiNoBitsync, 1,
       [](const ZorvApiTable& a, int32_t c, const P& p) {
         return a.ZorvApiGetBsFspCount(c, p(0, &p.out.fsp_count));
       }},
  };
  return exports;
}

bool StopsBeforeItsWork(int32_t code) {
  return code == kZorvApiDosMode || code == kZorvApiNotOpen || code == kZorvApiBadCardIndex ||
         code == kZorvApiNoIrig || code == kZorvApiNoBitsync || code == kZorvApiNotReadbackCapable;
}

LongestCall ExpectCodes(const ZorvApiTable& api, int32_t card,
                        const std::function<int32_t(const PerCardExport&)>& expected) {
  LongestCall longest;
  for (const PerCardExport& e : PerCardExports()) {
    const OutValues before = PatternedOutValues();
    OutValues out = before;
    const int64_t started = platform::clock().MonotonicNanoseconds();
    const int32_t code = e.call(api, card, CallPointers{out});
    const double milliseconds = (platform::clock().MonotonicNanoseconds() - started) / 1e6;
    if (milliseconds > longest.milliseconds) longest = {e.name, milliseconds};
    EXPECT_EQ(code, expected(e)) << e.name << " for card " << card;
    if (!StopsBeforeItsWork(code)) continue;
    OutValues untouched = before;
    if (std::string(e.name) == "ZorvApiGetBsEnableFspOption") untouched.bytes[0] = 0;
    EXPECT_TRUE(SameBytes(out, untouched)) << e.name << " wrote out-values with code " << code;
  }
  return longest;
}

}  // namespace zorv_e2e
