// zorvctl's readings as text and as JSON.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/tools/JsonReader.h"
#include "tools/zorvctl/ZorvctlJson.h"
#include "tools/zorvctl/ZorvctlReport.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(ZorvctlJson, TextsAndNumbersReadBackUnchanged) {
  const std::string awkward = "quote \" back \\ line\nfeed\ttab \x01 end";
  zorvctl::JsonObject object;
  object.Text("text", awkward)
      .Number("small", 1.234e-7)
      .Number("negative", -0.5)
      .Integer("big", 4294967295)
      .Boolean("yes", true)
      .Null("nothing")
      .Bytes("bytes", std::vector<uint8_t>{0, 0x5A, 255});

  const auto json = ReadJson(object.str());

  ASSERT_TRUE(json) << object.str();
  EXPECT_EQ((*json)["text"].text, awkward);
  EXPECT_EQ((*json)["small"].number, 1.234e-7);
  EXPECT_EQ((*json)["negative"].number, -0.5);
  EXPECT_EQ((*json)["big"].number, 4294967295.0);
  EXPECT_TRUE((*json)["yes"].boolean);
  EXPECT_TRUE((*json)["nothing"].IsNull());
  ASSERT_EQ((*json)["bytes"].items.size(), 3u);
  EXPECT_EQ((*json)["bytes"].items[2].number, 255);
  EXPECT_EQ(object.str().find('\n'), std::string::npos) << "one object, one line";
}

TEST(ZorvctlJson, ANumberWithoutJsonFormIsNull) {
  zorvctl::JsonObject object;
  object.Number("nan", std::numeric_limits<double>::quiet_NaN())
      .Number("infinite", -std::numeric_limits<double>::infinity());
  const auto json = ReadJson(object.str());
  ASSERT_TRUE(json) << object.str();
  EXPECT_TRUE((*json)["nan"].IsNull());
  EXPECT_TRUE((*json)["infinite"].IsNull());
}

zorvctl::StatusReading PolledReading() {
  zorvctl::StatusReading reading;
  reading.card = 2;
  reading.lock_status = 2;
  reading.irig_time = 123 * 86400.0 + 4 * 3600 + 5 * 60 + 6.789;
  reading.irig_status = 3;
  reading.irig_setup.SourceExternal = 1;
  reading.polled = true;
  reading.ber_test = true;
  reading.values.bit_count = 10000000;
  reading.values.error_count = 1234;
  reading.values.bit_error_rate = 1234.0 / 10000000.0;
  reading.values.programmed_bit_rate = 1024000;
  reading.values.es_no = 15.04;
  reading.values.built_in_test[2] = 0xA1;
  return reading;
}

TEST(ZorvctlStatus, TextShowsTheLinkAnalysisPanelsFormats) {
  const std::string text = zorvctl::StatusText(PolledReading());

  EXPECT_THAT(text, ::testing::StartsWith("card 2  LOCK\n"));
  EXPECT_THAT(text, HasSubstr("  Bit Rate            1024000 bps\n"));
  EXPECT_THAT(text, HasSubstr("  IRIG Time           123:04:05:06.789\n"));
  EXPECT_THAT(text, HasSubstr("  IRIG Status         FLYWHEEL\n"));
  EXPECT_THAT(text, HasSubstr("  Error Count         1234\n"));
  EXPECT_THAT(text, HasSubstr("  Clock Count         10000000\n"));
  EXPECT_THAT(text, HasSubstr("  BER                 1.2340E-0004\n"));
  EXPECT_THAT(text, HasSubstr("  Es/No (dB)          15.0\n"));
  EXPECT_THAT(text, HasSubstr("  BIT                 00 00 A1 00 00\n"));
}

TEST(ZorvctlStatus, WithoutATestTextAndJsonAgreeThatErrorsAndRateAreNotMeasured) {
  zorvctl::StatusReading reading = PolledReading();
  reading.ber_test = false;
  reading.irig_setup.SourceExternal = 0;

  const std::string text = zorvctl::StatusText(reading);
  const auto json = ReadJson(zorvctl::StatusJson(reading));

  EXPECT_THAT(text, HasSubstr("  Error Count         n/a\n"));
  EXPECT_THAT(text, HasSubstr("  BER                 n/a\n"));
  EXPECT_THAT(text, HasSubstr("  IRIG Status         INTERNAL RTC\n"));
  ASSERT_TRUE(json);
  EXPECT_TRUE((*json)["error_count"].IsNull());
  EXPECT_TRUE((*json)["ber"].IsNull());
  EXPECT_TRUE((*json)["link_analysis_status"].IsNull());
  EXPECT_EQ((*json)["bit_count"].number, 10000000);
}

TEST(ZorvctlStatus, JsonCarriesEveryValueOfAPolledCard) {
  const auto json = ReadJson(zorvctl::StatusJson(PolledReading()));

  ASSERT_TRUE(json);
  EXPECT_EQ((*json)["card"].number, 2);
  EXPECT_EQ((*json)["lock_status"].number, 2);
  EXPECT_EQ((*json)["lock"].text, "LOCK");
  EXPECT_EQ((*json)["irig_time_text"].text, "123:04:05:06.789");
  EXPECT_EQ((*json)["irig_status_text"].text, "FLYWHEEL");
  EXPECT_EQ((*json)["error_count"].number, 1234);
  EXPECT_DOUBLE_EQ((*json)["ber"].number, 1.234e-4);
  EXPECT_EQ((*json)["es_no_db"].number, 15.04);
  EXPECT_EQ((*json)["programmed_bit_rate"].number, 1024000);
  EXPECT_EQ((*json)["built_in_test"].items[2].number, 0xA1);
  EXPECT_EQ((*json)["operational_status"].items.size(), 4u);
  EXPECT_EQ((*json)["link_analysis_status"].items.size(), 3u);
}

TEST(ZorvctlStatus, JsonNumbersCarryTheDigitsTheyMean) {
  zorvctl::StatusReading reading = PolledReading();
  reading.irig_time = 86400.123456789;
  reading.values.bit_error_rate = 1.0 / 3.0;

  const std::string text = zorvctl::StatusJson(reading);

  EXPECT_THAT(text, HasSubstr("\"irig_time\":86400.123457,"));
  EXPECT_THAT(text, HasSubstr("\"ber\":0.33333,"));
}

TEST(ZorvctlStatus, ACardThatIsNotPolledHasNoSlowValues) {
  zorvctl::StatusReading reading = PolledReading();
  reading.polled = false;
  reading.complete = false;

  const std::string text = zorvctl::StatusText(reading);
  const auto json = ReadJson(zorvctl::StatusJson(reading));

  EXPECT_THAT(text, HasSubstr("Slow Values         not read"));
  EXPECT_THAT(text, Not(HasSubstr("Clock Count")));
  EXPECT_THAT(text, HasSubstr("(some reads failed"));
  ASSERT_TRUE(json);
  EXPECT_FALSE((*json)["complete"].boolean);
  for (const char* key : {"bit_count", "es_no_db", "built_in_test", "programmed_bit_rate"}) {
    EXPECT_TRUE((*json)[key].IsNull()) << key;
  }
}

TEST(ZorvctlBer, ProgressAndSummaryLines) {
  zorvctl::BerReading reading;
  reading.card = 1;
  reading.elapsed_seconds = 2.0004;
  reading.lock_status = 2;
  reading.bit_count = 2048000;
  reading.error_count = 2048;
  reading.bit_error_rate = 0.001;

  EXPECT_EQ(zorvctl::BerText(reading),
            "card 1  elapsed 2.0 s  bits 2048000  errors 2048  BER 1.0000E-0003  LOCK");

  reading.summary = true;
  reading.pattern_15_bit = false;
  reading.forced_errors = true;
  reading.correlator_locked = true;
  EXPECT_EQ(zorvctl::BerText(reading),
            "card 1  summary: 11-bit internal pattern, forced errors on  elapsed 2.0 s  bits "
            "2048000  errors 2048  BER 1.0000E-0003  LOCK  PRN correlator locked");
  const auto json = ReadJson(zorvctl::BerJson(reading));
  ASSERT_TRUE(json);
  EXPECT_EQ((*json)["reading"].text, "summary");
  EXPECT_EQ((*json)["pattern"].number, 11);
  EXPECT_TRUE((*json)["prn_correlator_locked"].boolean);
  EXPECT_FALSE((*json)["lock_lost"].boolean);
  EXPECT_EQ((*json)["elapsed_s"].number, 2.0);
  EXPECT_EQ((*json)["ber"].number, 0.001);
}

TEST(ZorvctlBer, ARateThatWasNotMeasuredIsNotAvailable) {
  zorvctl::BerReading reading;
  reading.summary = true;
  reading.lock_status = 1;
  reading.lock_lost = true;

  EXPECT_EQ(zorvctl::BerText(reading),
            "card 1  summary: 15-bit internal pattern, forced errors off  elapsed 0.0 s  bits 0  "
            "errors 0  BER n/a  SEARCH  PRN correlator not locked  (lock lost during the test)");
  const auto json = ReadJson(zorvctl::BerJson(reading));
  ASSERT_TRUE(json);
  EXPECT_TRUE((*json)["ber"].IsNull());
  EXPECT_TRUE((*json)["lock_lost"].boolean);
}

TEST(ZorvctlList, TheHeaderCountsCardsAndSaysHowManyTheLibraryFound) {
  EXPECT_EQ(zorvctl::ListHeader(1, 1, false, false), "1 card");
  EXPECT_EQ(zorvctl::ListHeader(2, 2, false, false), "2 cards");
  EXPECT_EQ(zorvctl::ListHeader(4, 6, false, false),
            "4 cards (the library found 6; zorvctl uses the first 4)");
  EXPECT_EQ(zorvctl::ListHeader(2, 2, true, false), "simulate mode: 2 cards with simulated data");
  EXPECT_EQ(zorvctl::ListHeader(3, 0, true, true),
            "simulate mode: the library found no card; 3 cards with simulated data");
}

TEST(ZorvctlList, UnansweredValuesAreShownAsSuch) {
  zorvctl::CardFacts facts;
  facts.card = 3;
  facts.bitsync_count = 1;
  facts.max_input_source = 3;

  EXPECT_EQ(zorvctl::ListText(facts),
            "card 3: 1 bitsync, 20 Mbit option n/a, BER test option n/a, firmware n/a, highest "
            "input source 3 (SE_INPUT 4)");
  const auto json = ReadJson(zorvctl::ListJson(facts));
  ASSERT_TRUE(json);
  EXPECT_TRUE((*json)["option_20_mbit"].IsNull());
  EXPECT_TRUE((*json)["firmware"].IsNull());

  facts.firmware_high = 0x0A4E;
  facts.firmware_low = 146;
  facts.option_ber_test = false;
  EXPECT_THAT(zorvctl::ListText(facts), HasSubstr("BER test option NO, firmware 0A4E : 146,"));
}

TEST(ZorvctlNames, ALockCodeWithoutANameIsUnknown) {
  EXPECT_EQ(zorvctl::LockStatusName(5), "DOES NOT EXIST");
  EXPECT_EQ(zorvctl::LockStatusName(6), "UNKNOWN");
  EXPECT_EQ(zorvctl::LockStatusName(-1), "UNKNOWN");
}

}  // namespace
