// Every export against every fault the emulator plays, with the library frame in-process on the
// virtual clock, so that a module that never gets ready costs microseconds: each call returns
// its defined code, writes no out-value on a code that stops it early, ends within its bound
// on the library's clock, and the emulated bus counts no protocol violation (fixture).
// Null pointers: each export refuses them with its own failure code, before any card I/O.

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "dll/Keltdllglobunit.h"
#include "emulator/VirtualPciBus.h"
#include "platform/clock.h"
#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

using Expected = std::function<int32_t(const PerCardExport&)>;

Expected Every(int32_t code) {
  return [code](const PerCardExport&) { return code; };
}

// The code for each group of exports: IRIG reader, bitsync, read-back bitsync, FSP.
Expected ByGroup(int32_t irig, int32_t bitsync, int32_t readback, int32_t fsp) {
  return [=](const PerCardExport& e) {
    switch (e.group) {
      case ExportGroup::kIrig:
        return irig;
      case ExportGroup::kBitsync:
        return bitsync;
      case ExportGroup::kReadback:
        return readback;
      case ExportGroup::kFsp:
        break;
    }
    return fsp;
  };
}

// A module that never gets ready: the library tries each command five times, waiting up to
// 1000 status polls (about 27.2 s) each time, then gives the module up, and later calls fail at
// once. A module that hangs on a command it was sent costs one more such wait, the pause after
// the strobe.
constexpr double kGiveUpBoundMs = 6 * (27'200 + 10) + 300;
// A card that answers, or a module that takes commands but never replies: a special status
// exchange is a few tens of milliseconds of register pauses, and a reply that never comes is
// given up after six 28 ms polls, five times over for the configuration.
constexpr double kAnsweringBoundMs = 2'000;

struct Fault {
  const char* name;
  const char* scenario;
  int32_t open_code;
  int32_t card_count;
  int32_t card;        // the index the exports are called with
  bool options_first;  // the options are read before the exports are called
  Expected expected;
  double bound_ms;
};

const Fault kFaults[] = {
    {"Healthy", "[Bus]\nCards=1\n", 0, 1, 0, false, Every(0), kAnsweringBoundMs},
    {"NoCardAtAll", "[Bus]\nCards=0\n", 0, 0, 0, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"IndexBelowZero", "[Bus]\nCards=1\n", 0, 1, -1, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"IndexAtTheCount", "[Bus]\nCards=1\n", 0, 1, 1, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"IndexLargest", "[Bus]\nCards=1\n", 0, 1, INT32_MAX, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"IndexSmallest", "[Bus]\nCards=1\n", 0, 1, INT32_MIN, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"NinthCard", "[Bus]\nCards=9\n", 0, kZorvApiMaxCards, 8, false, Every(kZorvApiBadCardIndex),
     kAnsweringBoundMs},
    {"EighthOfNineCards", "[Bus]\nCards=9\n", 0, kZorvApiMaxCards, 7, false, Every(0),
     kAnsweringBoundMs},
    {"DosModeEeprom", "[Bus]\nCards=1\n[Card0]\nEepromA=0xFFFF\nEepromB=0x800A\nEepromC=0x0004\n",
     kZorvApiDosMode, 0, 0, false, Every(kZorvApiDosMode), kAnsweringBoundMs},
    {"ModuleAbsent", "[Bus]\nCards=1\n[Card0]\nModule=absent\n", 0, 1, 0, false,
     ByGroup(0, kZorvApiNoBitsync, kZorvApiNoBitsync, kZorvApiNoBitsync), kAnsweringBoundMs},
    {"OlderMotherCard", "[Bus]\nCards=1\n[Card0]\nReadback=NO\n", 0, 1, 0, false,
     ByGroup(0, 0, kZorvApiNotReadbackCapable, kZorvApiNotReadbackCapable), kAnsweringBoundMs},
    {"OldConfigurationFormat",
     "[Bus]\nCards=1\n[Card0]\nConfiguration=0x00,0x00,0x31,0x0A,0x03,0x92\n", 0, 1, 0, false,
     ByGroup(0, 0, 0, kZorvApiNoBitsync), kAnsweringBoundMs},
    {"CardFailsToRegister", "[Bus]\nCards=1\n[Card0]\nUsable=SCANONLY\n", 0, 1, 0, false,
     ByGroup(kZorvApiNoIrig, kZorvApiNoBitsync, kZorvApiNoBitsync, kZorvApiNoBitsync),
     kAnsweringBoundMs},
    {"CardNeverRegisters", "[Bus]\nCards=1\n[Card0]\nUsable=NO\n", 0, 0, 0, false,
     Every(kZorvApiBadCardIndex), kAnsweringBoundMs},
    // The options were never read, so the module counts as one without the FSP option.
    {"ModuleStuckBusy", "[Bus]\nCards=1\n[Card0]\nModule=stuckbusy\n", 0, 1, 0, false,
     [](const PerCardExport& e) {
       return e.exchange == ModuleExchange::kNone && e.group != ExportGroup::kFsp ? 0 : e.failure;
     },
     kGiveUpBoundMs},
    {"ModuleSilent", "[Bus]\nCards=1\n[Card0]\nModule=silent\n", 0, 1, 0, false,
     [](const PerCardExport& e) {
       return e.exchange == ModuleExchange::kReply || e.group == ExportGroup::kFsp ? e.failure : 0;
     },
     kAnsweringBoundMs},
    // Every export that speaks to the module gives its own failure code; the FSP option and
    // count come from the options read.
    {"ModuleStopsAnsweringAfterTheOptionsRead",
     "[Bus]\nCards=1\n[Card0]\nModule=hangsafterconfiguration\n", 0, 1, 0, true,
     [](const PerCardExport& e) { return e.exchange == ModuleExchange::kNone ? 0 : e.failure; },
     kGiveUpBoundMs},
};

// The library frame linked into the test: its waits run on the virtual clock.
class InProcessLibraryTest : public ZorvDllTest {
 protected:
  void AttachLibrary(ZorvApiTable& api) override {
#define ZORV_DIRECT(name, short_name) api.name = &name;
    ZORVAPI_EXPORTS(ZORV_DIRECT)
#undef ZORV_DIRECT
    ZorvDllProcessAttach();
  }
  // The bus stays active for the next load of the same scenario; stopping it writes the
  // violation report, as the library's unload does.
  void DetachLibrary() override {
    ZorvDllProcessDetach();
    emulator::StopBus();
  }

  double ElapsedMs(int64_t since) {
    return (clock_.MonotonicNanoseconds() - since) / 1e6;
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
};

class FaultMatrixTest : public InProcessLibraryTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultMatrixTest, EveryExportAnswersWithItsCodeInTime) {
  const Fault& fault = GetParam();
  Load(fault.scenario);
  uint8_t dos_mode = 0xA5;
  int32_t count = -1;
  std::vector<int32_t> bitsync_counts(kZorvApiMaxCards + 1, -1);
  std::vector<int32_t> reserved(kZorvApiMaxCards, -1);
  int64_t started = clock_.MonotonicNanoseconds();
  EXPECT_EQ(api().ZorvApiOpen(&dos_mode, &count, bitsync_counts.data(), reserved.data()),
            fault.open_code);
  EXPECT_LE(ElapsedMs(started), fault.bound_ms) << "ZorvApiOpen";
  EXPECT_EQ(dos_mode, fault.open_code == kZorvApiDosMode ? 1 : 0);
  ASSERT_EQ(count, fault.card_count);
  EXPECT_EQ(bitsync_counts[count], -1) << "nothing written past the card count";
  if (fault.options_first) {
    uint8_t option_20_mbit = 0;
    uint8_t option_ber = 0;
    ASSERT_EQ(api().ZorvApiGetBitsyncOptions(fault.card, &option_20_mbit, &option_ber), 0);
  }
  const LongestCall longest = ExpectCodes(api(), fault.card, fault.expected);
  EXPECT_LE(longest.milliseconds, fault.bound_ms) << longest.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

class NullPointerTest : public InProcessLibraryTest {};

TEST_F(NullPointerTest, EachExportRefusesEachNullWithItsFailureCodeBeforeAnyCardIo) {
  Load("[Bus]\nCards=1\n");
  ASSERT_EQ(OpenApi(), 1);
  uint8_t option_20_mbit = 0;
  uint8_t option_ber = 0;
  ASSERT_EQ(api().ZorvApiGetBitsyncOptions(0, &option_20_mbit, &option_ber), 0);
  for (const PerCardExport& e : PerCardExports()) {
    for (int position = 0; position < e.pointers; ++position) {
      const OutValues before = PatternedOutValues();
      OutValues out = before;
      const int64_t started = clock_.MonotonicNanoseconds();
      EXPECT_EQ(e.call(api(), 0, CallPointers{out, position}), e.failure)
          << e.name << " with pointer " << position << " null";
      EXPECT_EQ(ElapsedMs(started), 0) << e.name << " reached the card";
      EXPECT_TRUE(SameBytes(out, before)) << e.name << " wrote with pointer " << position;
    }
  }
  // The checks before the work come first.
  OutValues out = PatternedOutValues();
  EXPECT_EQ(PerCardExports().front().call(api(), 1, CallPointers{out, 0}), kZorvApiBadCardIndex);
}

TEST_F(NullPointerTest, OpenRefusesEachNullAndStaysClosed) {
  Load("[Bus]\nCards=1\n");
  for (int missing = 0; missing < 4; ++missing) {
    uint8_t dos_mode = 0xA5;
    int32_t count = -1;
    int32_t bitsync_count = -1;
    int32_t reserved = -1;
    EXPECT_EQ(api().ZorvApiOpen(missing == 0 ? nullptr : &dos_mode, missing == 1 ? nullptr : &count,
                                missing == 2 ? nullptr : &bitsync_count,
                                missing == 3 ? nullptr : &reserved),
              kZorvApiNotOpen)
        << "pointer " << missing << " null";
    EXPECT_EQ(dos_mode, 0xA5);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(bitsync_count, -1);
    EXPECT_EQ(reserved, -1);
  }
  int32_t status = 0;
  EXPECT_EQ(api().ZorvApiGetIrigStatus(0, &status), kZorvApiNotOpen);
}

TEST_F(NullPointerTest, OpenInDosModeAnswersDosModeForANull) {
  Load("[Bus]\nCards=1\n[Card0]\nEepromA=0xFFFF\nEepromB=0x800A\nEepromC=0x0004\n");
  int32_t count = -1;
  std::vector<int32_t> counts(kZorvApiMaxCards, -1);
  EXPECT_EQ(api().ZorvApiOpen(nullptr, &count, counts.data(), counts.data()), kZorvApiDosMode);
  EXPECT_EQ(count, -1);
}

}  // namespace
}  // namespace zorv_e2e
