// The binding against fake libraries copied under the library's own file name, loaded by file
// name exactly as the program loads ZorvDll.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "app/Progzorvunit.h"
#include "platform/dynamic_library.h"
#include "tests/app/BindingTestFixture.h"

namespace {

TEST_F(BindingTest, LibraryMissingItsLastNameIsRefusedAndTheFallbackIsBound) {
  FakeZorvDllState& refused = InstallFake(FAKE_ZORVDLL_WITHOUT_FSP_COUNT, Path(kLibraryFile));
  FakeZorvDllState& fallback = InstallFake(FAKE_ZORVDLL, FallbackPath());

  progzorvclass& zorv = Bind();

  EXPECT_TRUE(LogHas(255,
                     "Normal Customer DLL Not Loaded..Attempting Debug Dll Function "
                     "ZorvApiGetBsFspCount for the DLL " +
                         kLibraryFile + " didn't load"));
  EXPECT_EQ(refused.open_calls, 0);
  EXPECT_EQ(fallback.open_calls, 1);
  EXPECT_EQ(zorv.card_count, 2);
  EXPECT_FALSE(zorv.simulate);
  uint16_t count = 0;
  EXPECT_TRUE(zorv.GetBitsyncFspCount(1, count));
  EXPECT_EQ(count, 12);
}

// What lies in the current directory under the library's name, and the refusal it gives.
struct UnusableLibrary {
  const char* name;
  const char* content;  // none: no file at all
  std::string refusal;
};

class NoLibraryTest : public BindingTest, public ::testing::WithParamInterface<UnusableLibrary> {};

TEST_P(NoLibraryTest, EveryWrapperFailsAndSaysSo) {
  if (GetParam().content) WriteText(Path(kLibraryFile), GetParam().content);

  progzorvclass& zorv = Bind();

  EXPECT_THAT(ReadText(Path("ZorvApp.Log")),
              ::testing::HasSubstr("Normal Customer DLL Not Loaded..Attempting Debug Dll " +
                                   GetParam().refusal));
  EXPECT_TRUE(LogHas(255, "ZORV DLL FAILED TO LOAD The DLL " + FallbackPath() +
                              " Does NOT exist.  Ensure It exists!!"));
  EXPECT_EQ(zorv.card_count, 0);
  EXPECT_FALSE(zorv.simulate);
  int32_t status = -1;
  EXPECT_FALSE(zorv.GetIrigStatus(0, status));
  EXPECT_FALSE(zorv.DisableBitsyncFspMode(0));
  EXPECT_EQ(status, -1);
  EXPECT_TRUE(LogHas(255, "ZORV DLL not loaded"));
}

INSTANTIATE_TEST_SUITE_P(
    Binding, NoLibraryTest,
    ::testing::Values(
        UnusableLibrary{"NoFile", nullptr,
                        "The DLL " + kLibraryFile + " Does NOT exist.  Ensure It exists!!"},
        UnusableLibrary{"NotALibrary", "MZ garbage", "The DLL " + kLibraryFile + " didn't load. "}),
    [](const ::testing::TestParamInfo<UnusableLibrary>& info) { return info.param.name; });

TEST_F(BindingTest, TheLibraryIsBoundBesideTheProgramThenInTheInstalledTreeWithoutAWord) {
  // Each library that appears is the one bound from then on; the earlier ones are not opened.
  FakeZorvDllState& current = InstallFullFake();
  const DllLocations locations{kLibraryFile, FallbackPath(), Path("tree/bin"), Path("tree/lib")};
  { const progzorvclass zorv(locations); }
  EXPECT_EQ(current.open_calls, 1);

  FakeZorvDllState& installed = InstallFake(FAKE_ZORVDLL, Path("tree/lib/" + kLibraryFile));
  { const progzorvclass zorv(locations); }
  EXPECT_EQ(installed.open_calls, 1);

  FakeZorvDllState& beside = InstallFake(FAKE_ZORVDLL, Path("tree/bin/" + kLibraryFile));
  { const progzorvclass zorv(locations); }

  EXPECT_EQ(beside.open_calls, 1);
  EXPECT_EQ(beside.close_calls, 1);
  EXPECT_EQ(installed.open_calls, 1);
  EXPECT_EQ(current.open_calls, 1);
  EXPECT_THAT(LogMessages(255), ::testing::IsEmpty());
}

TEST(DefaultDllLocations, AreBesideTheRunningProgramAndInItsInstalledTree) {
  const DllLocations locations = DefaultDllLocations();
  EXPECT_EQ(locations.file_name, kLibraryFile);
  EXPECT_EQ(locations.program_folder, platform::ExecutableDirectory());
  EXPECT_EQ(locations.fallback_path,
            platform::ExecutableDirectory() + platform::PathSeparator() + kLibraryFile);
  EXPECT_EQ(locations.installed_folder, platform::ExecutableDirectory() +
                                            platform::PathSeparator() + ".." +
                                            platform::PathSeparator() + "lib");
}

TEST_F(BindingTest, SixCardsAreCutToTheFirstFour) {
  FakeZorvDllState& fake = InstallFullFake();
  fake.card_count = 6;

  progzorvclass& zorv = Bind();

  EXPECT_TRUE(LogHas(0, "Found 6 in the machine."));
  EXPECT_TRUE(LogHas(0, " Can only handle the first 4 cards."));
  EXPECT_EQ(zorv.card_count, 4);
  EXPECT_EQ(zorv.cards_found, 6);
  EXPECT_FALSE(zorv.simulate);
  EXPECT_EQ(fake.max_input_source_queries, 4);
  for (const CardData& card : zorv.cards) {
    EXPECT_EQ(card.input_source_flag, 1);
    EXPECT_EQ(card.max_input_source, 11);
    EXPECT_EQ(card.bitsync_count, 1);
  }
}

TEST_F(BindingTest, ThreeInputSourcesLeaveTheInputSourceFlagOff) {
  FakeZorvDllState& fake = InstallFullFake();
  fake.max_input_source = 3;

  progzorvclass& zorv = Bind();

  EXPECT_TRUE(LogHas(0, "Found 2 in the machine."));
  EXPECT_FALSE(LogHas(0, " Can only handle the first 4 cards."));
  EXPECT_EQ(zorv.cards[0].input_source_flag, 0);
  EXPECT_EQ(zorv.cards[1].input_source_flag, 0);
  EXPECT_EQ(zorv.cards[1].max_input_source, 3);
}

TEST_F(BindingTest, NoCardGivesSimulateModeWithThreeCards) {
  FakeZorvDllState& fake = InstallFullFake();
  fake.card_count = 0;

  progzorvclass& zorv = Bind();

  EXPECT_TRUE(LogHas(1, "No cards found.  Setting to SIMULATE mode with Bitsyncs"));
  EXPECT_EQ(zorv.card_count, 3);
  EXPECT_TRUE(zorv.simulate);
  EXPECT_TRUE(zorv.no_cards);
  // A later count with cards does not leave simulate mode on its own.
  fake.card_count = 2;
  zorv.CloseApi();
  zorv.CountCards();
  EXPECT_EQ(zorv.card_count, 2);
  EXPECT_TRUE(zorv.simulate);
}

class SimulateModeTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    fake_ = &InstallFullFake();
    fake_->card_count = 0;
    Bind();
    ASSERT_TRUE(zorv_->simulate);
  }

  FakeZorvDllState* fake_ = nullptr;
};

TEST_F(SimulateModeTest, MeasurementsKeepTheirValuesWhileNoBitErrorTestRuns) {
  BitsyncStatusData status;
  status.signal_voltage = 9.5;
  status.offset_frequency = -3.0;
  status.es_no = 42.0;
  status.built_in_test[2] = 0x11;
  status.operational_status[0] = 7;
  status.link_analysis_status[1] = 7;
  const BitsyncStatusData before = status;

  EXPECT_TRUE(zorv_->GetSignalVoltage(0, status));
  EXPECT_TRUE(zorv_->GetGetOffsetFrequency(0, status));
  EXPECT_TRUE(zorv_->GetEstimatedEsNo(0, status));
  EXPECT_TRUE(zorv_->GetBIT(0, status));
  EXPECT_TRUE(zorv_->GetBitSyncOperationalStatus(0, status));
  EXPECT_TRUE(zorv_->GetLinkAnalysisOperationalStatus(0, status));
  int32_t firmware_high = -1;
  int32_t firmware_low = -1;
  EXPECT_TRUE(zorv_->GetBitsyncFirmware(0, firmware_high, firmware_low));

  EXPECT_EQ(firmware_high, -1);
  EXPECT_EQ(firmware_low, -1);
  EXPECT_EQ(status.signal_voltage, before.signal_voltage);
  EXPECT_EQ(status.offset_frequency, before.offset_frequency);
  EXPECT_EQ(status.es_no, before.es_no);
  EXPECT_EQ(status.built_in_test[2], 0x11);
  EXPECT_EQ(status.operational_status[0], 7);
  EXPECT_EQ(status.link_analysis_status[1], 7);
  EXPECT_EQ(fake_->per_card_calls, 0);
}

TEST_F(SimulateModeTest, MeasurementsAreInventedWithinTheirMasksWhileABitErrorTestRuns) {
  zorv_->cards[1].bitsync_setup.BerTestingEnabled = 1;
  std::set<double> voltages;
  std::set<double> offsets;
  std::set<double> es_nos;
  std::set<int> flags;
  for (int i = 0; i < 400; ++i) {
    BitsyncStatusData status;
    ASSERT_TRUE(zorv_->GetSignalVoltage(1, status));
    ASSERT_TRUE(zorv_->GetGetOffsetFrequency(1, status));
    ASSERT_TRUE(zorv_->GetEstimatedEsNo(1, status));
    ASSERT_TRUE(zorv_->GetBIT(1, status));
    ASSERT_TRUE(zorv_->GetBitSyncOperationalStatus(1, status));
    ASSERT_TRUE(zorv_->GetLinkAnalysisOperationalStatus(1, status));
    voltages.insert(status.signal_voltage);
    offsets.insert(status.offset_frequency);
    es_nos.insert(status.es_no);
    flags.insert(status.operational_status[3]);
    flags.insert(status.link_analysis_status[2]);
    EXPECT_EQ(status.built_in_test[0] & 0x22, 0x22);
    EXPECT_EQ(status.built_in_test[1] & 0xE1, 0xE1);
    EXPECT_EQ(status.built_in_test[2], 0xFF);
    EXPECT_EQ(status.built_in_test[3] & 0xA1, 0xA1);
    EXPECT_EQ(status.built_in_test[4] & 0xC0, 0xC0);
  }
  // A bitwise AND with the mask, not a remainder: only the mask's bits ever show.
  EXPECT_EQ(voltages, (std::set<double>{0, 1, 4, 5}));
  EXPECT_EQ(offsets, (std::set<double>{200000, 200001, 200004, 200005}));
  EXPECT_EQ(es_nos, (std::set<double>{0, 1, 8, 9, 16, 17, 24, 25}));
  EXPECT_EQ(flags, (std::set<int>{0, 1}));
  EXPECT_EQ(fake_->per_card_calls, 0);
}

TEST_F(SimulateModeTest, LockStatusIsOnlySearchOrLock) {
  std::set<int32_t> seen;
  for (int i = 0; i < 400; ++i) {
    int32_t status = -1;
    ASSERT_TRUE(zorv_->GetBitsyncStatus(i % 4, status));
    seen.insert(status);
  }
  EXPECT_EQ(seen, (std::set<int32_t>{1, 2}));
}

TEST_F(SimulateModeTest, IrigShowsTheInternalClockAtThePcTime) {
  clock_.SetLocalTime(platform::LocalTime{2024, 1, 2, 3, 4, 5, 600, 2, 1});
  int32_t status = 0;
  double seconds = 0;
  EXPECT_TRUE(zorv_->GetIrigStatus(0, status));
  EXPECT_TRUE(zorv_->GetIrigNowtime(0, seconds));
  EXPECT_EQ(status, 1);
  EXPECT_DOUBLE_EQ(seconds, 2 * 86400 + 3 * 3600 + 4 * 60 + 5.6);
  EXPECT_EQ(fake_->per_card_calls, 0);
}

TEST_F(SimulateModeTest, FspCallsStillReachTheLibrary) {
  fake_->result = kZorvApiNoBitsync;
  EXPECT_FALSE(zorv_->EnableBitsyncFspMode(2, 2048, 32, 1, 65131, 10304));
  EXPECT_TRUE(LogHas(3, "Enable Bitsync FSP Mode Failed For Card "));
  EXPECT_FALSE(zorv_->DisableBitsyncFspMode(0));
  EXPECT_TRUE(LogHas(1, "Disable Bitsync FSP Mode Failed For Card "));
  uint16_t count = 99;
  EXPECT_FALSE(zorv_->GetBitsyncFspCount(1, count));
  EXPECT_TRUE(LogHas(2, "Get Bitsync FSP Mode Fsp Count Failed For Card "));
  EXPECT_EQ(count, 99);
  EXPECT_EQ(fake_->per_card_calls, 3);
}

class LiveWrapperTest : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    fake_ = &InstallFullFake();
    Bind();
    ASSERT_FALSE(zorv_->simulate);
  }

  FakeZorvDllState* fake_ = nullptr;
};

TEST_F(LiveWrapperTest, WrappersSucceedExactlyWhenTheLibraryReturnsZero) {
  BitsyncStatusData status;
  const std::vector<std::pair<const char*, std::function<bool(progzorvclass&)>>> wrappers = {
      {"GetIrigStatus",
       [](progzorvclass& z) {
         int32_t s;
         return z.GetIrigStatus(1, s);
       }},
      {"GetIrigNowtime",
       [](progzorvclass& z) {
         double t;
         return z.GetIrigNowtime(1, t);
       }},
      {"LoadIrigSetup", [](progzorvclass& z) { return z.LoadIrigSetup(1, kDefaultIrigSetup); }},
      {"LoadBitsyncSetup",
       [](progzorvclass& z) { return z.LoadBitsyncSetup(1, kDefaultBitsyncSetup); }},
      {"SetBitsyncQuickReactMode",
       [](progzorvclass& z) { return z.SetBitsyncQuickReactMode(1, 1); }},
      {"GetBitsyncOptions", [&](progzorvclass& z) { return z.GetBitsyncOptions(1, status); }},
      {"GetBitsyncProgrammedBitRate",
       [&](progzorvclass& z) { return z.GetBitsyncProgrammedBitRate(1, status); }},
      {"GetBitSyncOperationalStatus",
       [&](progzorvclass& z) { return z.GetBitSyncOperationalStatus(1, status); }},
      {"GetBIT", [&](progzorvclass& z) { return z.GetBIT(1, status); }},
      {"GetLinkAnalysisBitCount",
       [&](progzorvclass& z) { return z.GetLinkAnalysisBitCount(1, status); }},
      {"GetLinkAnalysisErrorCount",
       [&](progzorvclass& z) { return z.GetLinkAnalysisErrorCount(1, status); }},
      {"GetGetOffsetFrequency",
       [&](progzorvclass& z) { return z.GetGetOffsetFrequency(1, status); }},
      {"GetSignalVoltage", [&](progzorvclass& z) { return z.GetSignalVoltage(1, status); }},
      {"GetEstimatedEsNo", [&](progzorvclass& z) { return z.GetEstimatedEsNo(1, status); }},
      {"GetLinkAnalysisOperationalStatus",
       [&](progzorvclass& z) { return z.GetLinkAnalysisOperationalStatus(1, status); }},
      {"EnableBitsyncFspMode",
       [](progzorvclass& z) { return z.EnableBitsyncFspMode(1, 1, 2, 3, 4, 5); }},
      {"DisableBitsyncFspMode", [](progzorvclass& z) { return z.DisableBitsyncFspMode(1); }},
      {"GetBitsyncFspCount",
       [](progzorvclass& z) {
         uint16_t c;
         return z.GetBitsyncFspCount(1, c);
       }},
      {"GetBitsyncFirmware",
       [](progzorvclass& z) {
         int32_t high;
         int32_t low;
         return z.GetBitsyncFirmware(1, high, low);
       }},
  };
  for (const auto& [name, wrapper] : wrappers) {
    SCOPED_TRACE(name);
    for (const int32_t result : {kZorvApiSuccess, kZorvApiNotOpen, kZorvApiEsNoFailed}) {
      fake_->result = result;
      fake_->last_card = -1;
      EXPECT_EQ(wrapper(*zorv_), result == kZorvApiSuccess);
      EXPECT_EQ(fake_->last_card, 1);
    }
  }
}

TEST_F(LiveWrapperTest, ReadsFillOnlyTheirOwnFields) {
  BitsyncStatusData status;
  fake_->bit_count = 123456;
  ASSERT_TRUE(zorv_->GetLinkAnalysisBitCount(0, status));
  ASSERT_TRUE(zorv_->GetBitsyncProgrammedBitRate(0, status));
  ASSERT_TRUE(zorv_->GetEstimatedEsNo(0, status));
  int32_t firmware_high = 0;
  int32_t firmware_low = 0;
  ASSERT_TRUE(zorv_->GetBitsyncFirmware(0, firmware_high, firmware_low));
  EXPECT_EQ(firmware_high, 146);
  EXPECT_EQ(firmware_low, 146);
  EXPECT_EQ(status.bit_count, 123456u);
  EXPECT_EQ(status.programmed_bit_rate, 1024000u);
  EXPECT_DOUBLE_EQ(status.es_no, 12.3);
  EXPECT_EQ(status.error_count, 0u);
  EXPECT_EQ(status.signal_voltage, 0.0);
  EXPECT_EQ(status.bit_error_rate, 0.0);
}

TEST_F(LiveWrapperTest, AFailedLockStatusReadShowsTheLastKnownStatus) {
  int32_t status = 0;
  fake_->bitsync_status = 2;
  ASSERT_TRUE(zorv_->GetBitsyncStatus(1, status));
  ASSERT_EQ(status, 2);

  fake_->result = kZorvApiBitsyncStatusFailed;
  status = 99;
  EXPECT_FALSE(zorv_->GetBitsyncStatus(1, status));
  EXPECT_EQ(status, 2);

  // Another card has a cache of its own, and a card outside the program's four has none.
  status = 99;
  EXPECT_FALSE(zorv_->GetBitsyncStatus(0, status));
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(zorv_->GetBitsyncStatus(4, status));
  EXPECT_FALSE(zorv_->GetBitsyncStatus(-1, status));
}

TEST_F(LiveWrapperTest, AValueTextThatIsNoNumberFailsWithItsLine) {
  const std::vector<std::pair<const char*, bool (progzorvclass::*)(int32_t, BitsyncStatusData&)>>
      readers = {
          {"progzorvunit.GetGetOffsetFrequency  failed", &progzorvclass::GetGetOffsetFrequency},
          {"progzorvunit.GetSignalVoltage  failed", &progzorvclass::GetSignalVoltage},
          {"progzorvunit.GetEstimatedEsNo  failed", &progzorvclass::GetEstimatedEsNo},
      };
  for (const auto& [line, reader] : readers) {
    SCOPED_TRACE(line);
    BitsyncStatusData status;
    status.signal_voltage = status.offset_frequency = status.es_no = 4.25;

    std::strcpy(fake_->value_text, "-1.5 V");
    ASSERT_TRUE((zorv_.get()->*reader)(0, status));
    EXPECT_FALSE(LogHas(0, line));

    std::strcpy(fake_->value_text, "NO LOCK");
    EXPECT_FALSE((zorv_.get()->*reader)(0, status));
    EXPECT_TRUE(LogHas(0, line));

    // Nothing written by the library: the blanks the buffer starts with are no number either.
    std::strcpy(fake_->value_text, "                 ");
    EXPECT_FALSE((zorv_.get()->*reader)(0, status));
    const double read = status.signal_voltage + status.offset_frequency + status.es_no;
    EXPECT_DOUBLE_EQ(read, -1.5 + 4.25 + 4.25);
  }
}

TEST(ValueText, ConvertsOneNumberWithAnOptionalUnitOfLetters) {
  struct Case {
    const char* text;
    bool converts;
    double value;
  };
  const Case cases[] = {
      {"12.3 dB", true, 12.3},  {"  12.3 dB      ", true, 12.3},
      {"-0.25 V", true, -0.25}, {"+200005Hz", true, 200005},
      {"1.5", true, 1.5},       {".5 V", true, 0.5},
      {"7.", true, 7},          {"1e3 Hz", true, 1000},
      {"2E-2", true, 0.02},     {"3 e", true, 3},
      {"", false, 0},           {"       ", false, 0},
      {"dB", false, 0},         {"12.3 dB x", false, 0},
      {"12,3 dB", false, 0},    {"1 2", false, 0},
      {"12.3 d-B", false, 0},   {"- 1", false, 0},
      {".", false, 0},          {"inf", false, 0},
      {"nan", false, 0},        {"0x1A", false, 0},
      {"1e999", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double value = -7.0;
    EXPECT_EQ(ParseValueText(c.text, value), c.converts);
    EXPECT_DOUBLE_EQ(value, c.converts ? c.value : -7.0);
  }
}

}  // namespace
