#include "tests/e2e/ZorvDllFixture.h"

#include <cstring>
#include <fstream>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace zorv_e2e {

namespace {

constexpr uint8_t kPattern = 0xA5;

template <typename Fn>
void Bind(platform::LibraryHandle library, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(platform::LibrarySymbol(library, name));
  EXPECT_NE(slot, nullptr) << name << " is not exported";
}

int ReportValue(const std::filesystem::path& report, const std::string& section,
                const std::string& key) {
  const std::string value = platform::ReadProfileString(report.string(), section, key, "-1");
  try {
    return std::stoi(value);
  } catch (...) {
    return -1;
  }
}

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
  static const BitsyncSetup setup = PlainSetup();
  static const std::vector<PerCardExport> exports = {
      {"ZorvApiGetIrigStatus", G::kIrig,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetIrigStatus(c, &o.int32[0]);
       }},
      {"ZorvApiGetIrigNowtime", G::kIrig,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetIrigNowtime(c, &o.seconds);
       }},
      {"ZorvApiLoadIrigSetup", G::kIrig,
       [](const ZorvApiTable& a, int32_t c, OutValues&) {
         return a.ZorvApiLoadIrigSetup(c, &kExternalIrigB);
       }},
      {"ZorvApiGetBitsyncStatus", G::kBitsync,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncStatus(c, &o.int32[0]);
       }},
      {"ZorvApiGetBitsyncMaxInputSource", G::kBitsync,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncMaxInputSource(c, &o.int32[0]);
       }},
      {"ZorvApiLoadBitsyncSetup", G::kBitsync,
       [](const ZorvApiTable& a, int32_t c, OutValues&) {
         return a.ZorvApiLoadBitsyncSetup(c, &setup);
       }},
      {"ZorvApiGetBitsyncOptions", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncOptions(c, &o.bytes[0], &o.bytes[1]);
       }},
      {"ZorvApiGetBitsyncFirmware", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncFirmware(c, &o.int32[0], &o.int32[1]);
       }},
      {"ZorvApiGetBitsyncProgrammedBitRate", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncProgrammedBitRate(c, &o.uint32);
       }},
      {"ZorvApiGetBitsyncProgrammedInputCode", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncProgrammedInputCode(c, &o.int32[0]);
       }},
      {"ZorvApiGetBitsyncProgrammedOutputCode", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncProgrammedOutputCode(c, &o.int32[0]);
       }},
      {"ZorvApiGetBitsyncProgrammedLoopBw", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitsyncProgrammedLoopBw(c, &o.bytes[0]);
       }},
      {"ZorvApiGetBitSyncOperationalStatus", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBitSyncOperationalStatus(c, &o.bytes[0], &o.bytes[1], &o.bytes[2],
                                                     &o.bytes[3]);
       }},
      {"ZorvApiGetBIT", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBIT(c, &o.bytes[0], &o.bytes[1], &o.bytes[2], &o.bytes[3], &o.bytes[4]);
       }},
      {"ZorvApiGetLinkAnalysisBitCount", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetLinkAnalysisBitCount(c, &o.uint32);
       }},
      {"ZorvApiGetLinkAnalysisErrorCount", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetLinkAnalysisErrorCount(c, &o.uint32);
       }},
      {"ZorvApiGetLinkAnalysisOperationalStatus", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetLinkAnalysisOperationalStatus(c, &o.bytes[0], &o.bytes[1], &o.bytes[2]);
       }},
      {"ZorvApiGetGetOffsetFrequency", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetGetOffsetFrequency(c, o.text);
       }},
      {"ZorvApiGetSignalVoltage", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetSignalVoltage(c, o.text);
       }},
      {"ZorvApiGetEstimatedEsNo", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetEstimatedEsNo(c, o.text);
       }},
      {"ZorvApiSetBitsyncQuickReactMode", G::kReadback,
       [](const ZorvApiTable& a, int32_t c, OutValues&) {
         return a.ZorvApiSetBitsyncQuickReactMode(c, 0);
       }},
      {"ZorvApiGetBsEnableFspOption", G::kFsp,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBsEnableFspOption(c, &o.bytes[0]);
       }},
      {"ZorvApiEnableBsFspSigQualMode", G::kFsp,
       [](const ZorvApiTable& a, int32_t c, OutValues&) {
         return a.ZorvApiEnableBsFspSigQualMode(c, 2048, 32, 1, 65131, 10304);
       }},
      {"ZorvApiDisableBsFspSigQualMode", G::kFsp,
       [](const ZorvApiTable& a, int32_t c, OutValues&) {
         return a.ZorvApiDisableBsFspSigQualMode(c);
       }},
      {"ZorvApiGetBsFspCount", G::kFsp,
       [](const ZorvApiTable& a, int32_t c, OutValues& o) {
         return a.ZorvApiGetBsFspCount(c, &o.fsp_count);
       }},
  };
  return exports;
}

double PcTimeOfYear() {
  const platform::LocalTime now = platform::clock().Now();
  return (now.yearday + 1) * 86400.0 + now.hour * 3600.0 + now.minute * 60.0 + now.second +
         now.millisecond / 1000.0;
}

void ZorvDllTest::TearDown() {
  if (library_ != nullptr) Unload();
  if (!report_.empty()) ExpectNoViolations();
}

void ZorvDllTest::Load(const std::string& scenario) {
  const std::filesystem::path scenario_path = folder() / "scenario.ini";
  std::ofstream(scenario_path) << scenario;
  report_ = folder() / "violations.ini";
  platform::SetEnvironmentVariable("ZORV_EMULATE", scenario_path.string());
  platform::SetEnvironmentVariable("ZORV_EMULATOR_REPORT", report_.string());
  library_ = platform::LoadLibraryByName(ZORVDLL_PATH);
  ASSERT_NE(library_, nullptr) << platform::LastLibraryError();
#define ZORV_BIND(name, short_name) Bind(library_, #name, api_.name);
  ZORVAPI_EXPORTS(ZORV_BIND)
#undef ZORV_BIND
}

int32_t ZorvDllTest::OpenApi() {
  uint8_t dos_mode = 1;
  int32_t count = -1;
  std::vector<int32_t> reserved(kZorvApiMaxCards, -1);
  bitsync_counts_.assign(kZorvApiMaxCards, -1);
  EXPECT_EQ(api_.ZorvApiOpen(&dos_mode, &count, bitsync_counts_.data(), reserved.data()), 0);
  EXPECT_EQ(dos_mode, 0);
  for (int32_t i = 0; i < count; ++i) EXPECT_EQ(reserved[i], 0) << "card " << i;
  bitsync_counts_.resize(static_cast<size_t>(std::max(count, 0)));
  return count;
}

void ZorvDllTest::Unload() {
  platform::FreeLibraryHandle(library_);
  library_ = nullptr;
  api_ = ZorvApiTable{};
  const std::filesystem::path in_subfolder = folder() / "Files" / "ErLogs" / "ZORVDLL.Log";
  log_ = zorv_test::ReadLogEntries(
      std::filesystem::exists(in_subfolder) ? in_subfolder : folder() / "ZORVDLL.Log");
}

void ZorvDllTest::ExpectNoViolations() const {
  const int cards = ReportValue(report_, "Bus", "Cards");
  ASSERT_GE(cards, 0) << "no violation report at " << report_;
  EXPECT_EQ(ReportValue(report_, "Bus", "Refused"), 0)
      << platform::ReadProfileString(report_.string(), "Bus", "LastRefused", "");
  for (int i = 0; i < cards; ++i) {
    const std::string section = "Card" + std::to_string(i);
    for (const char* part : {"Eeprom", "Bitsync", "Irig"}) {
      EXPECT_EQ(ReportValue(report_, section, part), 0) << section << " " << part;
    }
  }
}

}  // namespace zorv_e2e
