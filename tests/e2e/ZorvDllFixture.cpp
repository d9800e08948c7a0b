#include "tests/e2e/ZorvDllFixture.h"

#include <fstream>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace zorv_e2e {

namespace {

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

}  // namespace

double PcTimeOfYear() {
  const platform::LocalTime now = platform::clock().Now();
  return (now.yearday + 1) * 86400.0 + now.hour * 3600.0 + now.minute * 60.0 + now.second +
         now.millisecond / 1000.0;
}

void ZorvDllTest::TearDown() {
  if (loaded_) Unload();
  if (!report_.empty()) ExpectNoViolations();
}

void ZorvDllTest::Load(const std::string& scenario) {
  const std::filesystem::path scenario_path = folder() / "scenario.ini";
  std::ofstream(scenario_path) << scenario;
  report_ = folder() / "violations.ini";
  platform::SetEnvironmentVariable("ZORV_EMULATE", scenario_path.string());
  platform::SetEnvironmentVariable("ZORV_EMULATOR_REPORT", report_.string());
  loaded_ = true;
  AttachLibrary(api_);
}

void ZorvDllTest::AttachLibrary(ZorvApiTable& api) {
  library_ = platform::LoadLibraryByName(ZORVDLL_PATH);
  ASSERT_NE(library_, nullptr) << platform::LastLibraryError();
#define ZORV_BIND(name, short_name) Bind(library_, #name, api.name);
  ZORVAPI_EXPORTS(ZORV_BIND)
#undef ZORV_BIND
}

void ZorvDllTest::DetachLibrary() {
  if (library_ != nullptr) platform::FreeLibraryHandle(library_);
  library_ = nullptr;
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
  DetachLibrary();
  loaded_ = false;
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
