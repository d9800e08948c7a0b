// zorvctl's command line: what it accepts, what it refuses, and its help.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/tools/ZorvctlTestFixture.h"
#include "tools/zorvctl/ZorvctlArguments.h"

namespace {

using zorvctl::Arguments;
using zorvctl::Command;
using zorvctl::ParseArguments;

struct Accepted {
  std::vector<std::string> words;
  std::function<void(const Arguments&)> check;
};

// In a scratch folder of the test's own, where a scenario file and a folder lie.
class ZorvctlArguments : public ZorvctlTest {
 protected:
  void SetUp() override {
    ZorvctlTest::SetUp();
    WriteText(Path("scenario.ini"), "[Bus]\r\nCards=1\r\n");
    std::filesystem::create_directory(Path("folder"));
  }
};

TEST_F(ZorvctlArguments, CommandLinesItAccepts) {
  const std::vector<Accepted> cases = {
      {{"list"},
       [](const Arguments& a) {
         EXPECT_EQ(a.command, Command::kList);
         EXPECT_FALSE(a.json);
         EXPECT_FALSE(a.emulate);
       }},
      {{"--emulate", "2", "status", "--json"},
       [](const Arguments& a) {
         EXPECT_EQ(a.command, Command::kStatus);
         EXPECT_EQ(a.emulate, "2");
         EXPECT_TRUE(a.json);
         EXPECT_FALSE(a.card);
         EXPECT_FALSE(a.watch_seconds);
       }},
      {{"status", "--card=4", "--watch", "10", "--emulate=scenario.ini"},
       [](const Arguments& a) {
         EXPECT_EQ(a.card, 4);
         EXPECT_EQ(a.watch_seconds, 10);
         EXPECT_EQ(a.emulate, "scenario.ini");
       }},
      {{"ber", "--card", "1", "--seconds", "86400", "--pattern", "11", "--external",
        "--forced-errors"},
       [](const Arguments& a) {
         EXPECT_EQ(a.command, Command::kBer);
         EXPECT_EQ(a.card, 1);
         EXPECT_EQ(a.seconds, 86400);
         EXPECT_EQ(a.pattern_15_bit, false);
         EXPECT_TRUE(a.external_pattern);
         EXPECT_TRUE(a.forced_errors);
       }},
      {{"ber", "--seconds", "3", "--card", "2"},
       [](const Arguments& a) {
         EXPECT_FALSE(a.pattern_15_bit) << "the card's own pattern unless one is given";
         EXPECT_FALSE(a.external_pattern);
         EXPECT_FALSE(a.forced_errors);
       }},
      {{"irig", "--card", "3", "--code", "g", "--internal", "--flywheel", "off"},
       [](const Arguments& a) {
         EXPECT_EQ(a.irig_code, 2);
         EXPECT_EQ(a.irig_external, false);
         EXPECT_EQ(a.flywheel, false);
       }},
      {{"irig", "--card", "1", "--code", "A", "--external"},
       [](const Arguments& a) {
         EXPECT_EQ(a.irig_code, 1);
         EXPECT_EQ(a.irig_external, true);
         EXPECT_FALSE(a.flywheel);
       }},
      {{"irig", "--card", "1"},
       [](const Arguments& a) {
         EXPECT_FALSE(a.irig_code);
         EXPECT_FALSE(a.irig_external);
       }},
      {{"load", "setup.zorv"}, [](const Arguments& a) { EXPECT_EQ(a.file, "setup.zorv"); }},
      {{"save", "-"}, [](const Arguments& a) { EXPECT_EQ(a.file, "-"); }},
      {{"check", "setup.zorv"},
       [](const Arguments& a) {
         EXPECT_EQ(a.command, Command::kCheck);
         EXPECT_EQ(a.file, "setup.zorv");
       }},
      {{"--simulate", "list", "--emulate", "0", "--emulate-fresh"},
       [](const Arguments& a) {
         EXPECT_TRUE(a.simulate);
         EXPECT_TRUE(a.emulate_fresh);
         EXPECT_EQ(a.emulate, "0");
       }},
      {{"ber", "--card", "1", "--seconds", "2", "--max-ber=1e-6"},
       [](const Arguments& a) {
         EXPECT_EQ(a.max_ber, 1e-6);
         EXPECT_FALSE(a.simulate);
       }},
      {{"monitor"},
       [](const Arguments& a) {
         EXPECT_EQ(a.command, Command::kMonitor);
         EXPECT_FALSE(a.card);
         EXPECT_FALSE(a.seconds) << "until Ctrl+C";
         EXPECT_EQ(a.csv_file, "");
         EXPECT_FALSE(a.metrics);
       }},
      {{"monitor", "--card", "2", "--csv", "pass.csv", "--journal=events.csv", "--seconds", "20",
        "--metrics", "0.0.0.0:9100", "--json"},
       [](const Arguments& a) {
         EXPECT_EQ(a.card, 2);
         EXPECT_EQ(a.csv_file, "pass.csv");
         EXPECT_EQ(a.journal_file, "events.csv");
         EXPECT_EQ(a.seconds, 20);
         ASSERT_TRUE(a.metrics);
         EXPECT_EQ(a.metrics->host, "0.0.0.0");
         EXPECT_EQ(a.metrics->port, 9100);
         EXPECT_TRUE(a.json);
       }},
      // This machine only, unless an address says otherwise.
      {{"monitor", "--metrics", "9100"},
       [](const Arguments& a) {
         ASSERT_TRUE(a.metrics);
         EXPECT_EQ(a.metrics->host, "127.0.0.1");
         EXPECT_EQ(a.metrics->port, 9100);
       }},
      {{"monitor", "--metrics", ":65535"},
       [](const Arguments& a) { EXPECT_EQ(a.metrics->host, "127.0.0.1"); }},
      {{"monitor", "--metrics", "[::1]:9100"},
       [](const Arguments& a) { EXPECT_EQ(a.metrics->host, "::1"); }},
  };
  for (const Accepted& accepted : cases) {
    SCOPED_TRACE(::testing::PrintToString(accepted.words));
    Arguments arguments;
    std::string error;
    ASSERT_TRUE(ParseArguments(accepted.words, arguments, error)) << error;
    EXPECT_FALSE(arguments.help);
    accepted.check(arguments);
  }
}

struct Refused {
  std::vector<std::string> words;
  std::string error;
};

TEST_F(ZorvctlArguments, CommandLinesItRefusesWithTheReason) {
  const std::vector<Refused> cases = {
      {{}, "no command given"},
      {{"--emulate", "2"}, "no command given"},
      {{"frob"}, "unknown command frob"},
      {{"--json", "list"}, "unknown option --json"},
      {{"--emulate"}, "--emulate takes a card count or a scenario file"},
      {{"--emulate=", "list"}, "--emulate takes a card count or a scenario file"},
      {{"--emulate", "1", "list", "--emulate", "2"}, "--emulate is given twice"},
      {{"list", "--card", "1"}, "list has no option --card"},
      {{"list", "extra"}, "list takes no argument extra"},
      {{"list", "--json=yes"}, "--json takes no value"},
      {{"status", "--card", "5"}, "--card takes a card number from 1 to 4"},
      {{"status", "--card", "0"}, "--card takes a card number from 1 to 4"},
      {{"status", "--card", "1x"}, "--card takes a card number from 1 to 4"},
      {{"status", "--card", "-1"}, "--card takes a card number from 1 to 4"},
      {{"status", "--card"}, "--card needs a value"},
      {{"status", "--card", "1", "--card", "2"}, "--card is given twice"},
      {{"status", "--watch", "0"}, "--watch takes whole seconds from 1 to 86400"},
      {{"status", "--watch", "1.5"}, "--watch takes whole seconds from 1 to 86400"},
      {{"ber", "--card", "1"}, "ber needs --seconds S"},
      {{"ber", "--seconds", "3"}, "ber needs --card N"},
      {{"ber", "--card", "1", "--seconds", "86401"},
       "--seconds takes whole seconds from 1 to 86400"},
      {{"ber", "--card", "1", "--seconds", "3", "--pattern", "13"}, "--pattern takes 11 or 15"},
      {{"ber", "--card", "1", "--seconds", "3", "--code", "A"}, "ber has no option --code"},
      {{"irig"}, "irig needs --card N"},
      {{"irig", "--card", "1", "--internal", "--external"},
       "--internal and --external exclude each other"},
      {{"irig", "--card", "1", "--code", "C"}, "--code takes A, B or G"},
      {{"irig", "--card", "1", "--flywheel", "yes"}, "--flywheel takes on or off"},
      {{"irig", "--card", "1", "--json"}, "irig has no option --json"},
      {{"load"}, "load needs a FILE"},
      {{"save", "a.zorv", "b.zorv"}, "save takes no argument b.zorv"},
      {{"load", "--json"}, "load has no option --json"},
      {{"check"}, "check needs a FILE"},
      // Anything but a card count the emulator takes or a file it can read is a mistake,
      // found before the library runs without cards.
      {{"--emulate", "-1", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; -1 is neither"},
      {{"--emulate", "17", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; 17 is neither"},
      {{"--emulate", "2x", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; 2x is neither"},
      {{"--emulate", "missing.ini", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; missing.ini is "
       "neither"},
      {{"--emulate", "folder", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; folder is neither"},
      {{"--emulate-fresh", "list"}, "--emulate-fresh needs --emulate"},
      {{"--simulate=yes", "list"}, "--simulate takes no value"},
      {{"list", "--simulate", "--simulate"}, "--simulate is given twice"},
      {{"ber", "--card", "1", "--seconds", "3", "--max-ber", "-1"},
       "--max-ber takes a bit error rate from 0 to 1, such as 1e-6"},
      {{"ber", "--card", "1", "--seconds", "3", "--max-ber", "nan"},
       "--max-ber takes a bit error rate from 0 to 1, such as 1e-6"},
      {{"ber", "--card", "1", "--seconds", "3", "--max-ber", "1e-3x"},
       "--max-ber takes a bit error rate from 0 to 1, such as 1e-6"},
      {{"monitor", "--journal", "events.csv"}, "--journal needs --csv FILE"},
      {{"monitor", "--csv="}, "--csv takes a file name"},
      {{"monitor", "--seconds", "0"}, "--seconds takes whole seconds from 1 to 86400"},
      {{"monitor", "--watch", "1"}, "monitor has no option --watch"},
      {{"monitor", "pass.csv"}, "monitor takes no argument pass.csv"},
      {{"monitor", "--metrics", "localhost:0"},
       "--metrics takes ADDRESS:PORT (such as 127.0.0.1:9100) or a PORT"},
      {{"monitor", "--metrics", "localhost:65536"},
       "--metrics takes ADDRESS:PORT (such as 127.0.0.1:9100) or a PORT"},
      {{"monitor", "--metrics", "localhost"},
       "--metrics takes ADDRESS:PORT (such as 127.0.0.1:9100) or a PORT"},
      {{"monitor", "--metrics", "::1:9100"},
       "--metrics takes ADDRESS:PORT (such as 127.0.0.1:9100) or a PORT"},
      // A quoted word's control characters are escaped, so that the error stays one line.
      {{"\n"}, "unknown command \\x0A"},
      {{"list", "a\r\nb\x1b[2J"}, "list takes no argument a\\x0D\\x0Ab\\x1B[2J"},
      {{"--emulate", "2\n", "list"},
       "--emulate takes a card count 0 to 16 or a readable scenario file; 2\\x0A is neither"},
  };
  for (const Refused& refused : cases) {
    SCOPED_TRACE(::testing::PrintToString(refused.words));
    Arguments arguments;
    std::string error;
    EXPECT_FALSE(ParseArguments(refused.words, arguments, error));
    EXPECT_EQ(error, refused.error);
  }
}

class ZorvctlUsageTest : public ZorvctlTest {};

TEST_F(ZorvctlUsageTest, WrongUsageIsOneLineAndExitCodeTwoWithoutTouchingTheCards) {
  EXPECT_EQ(Run({"status", "--card", "9"}), 2);
  EXPECT_EQ(err_,
            "zorvctl: --card takes a card number from 1 to 4 (see 'zorvctl status --help')\n");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Run({"frob"}), 2);
  EXPECT_EQ(err_, "zorvctl: unknown command frob (see 'zorvctl --help')\n");
  EXPECT_EQ(Run({"fr\nob"}), 2);
  EXPECT_EQ(err_, "zorvctl: unknown command fr\\x0Aob (see 'zorvctl --help')\n");
  EXPECT_FALSE(std::filesystem::exists(Path("zorvctl.Log")));
}

TEST_F(ZorvctlUsageTest, EveryCommandHasItsHelp) {
  const std::string usage = "Usage: zorvctl [--emulate N|SCENARIO [--emulate-fresh]] [--simulate] ";
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_THAT(out_, ::testing::StartsWith(usage + "COMMAND"));
  EXPECT_THAT(out_,
              ::testing::HasSubstr("Exit status: 0 done, 1 an operation failed, 2 wrong usage"));
  // The refusal holds across programs and users everywhere.
  EXPECT_THAT(out_, ::testing::HasSubstr("while ZorvApp or another zorvctl runs"));
  EXPECT_THAT(out_, ::testing::Not(::testing::HasSubstr("within one process")));
  for (const char* command : {"list", "status", "load", "save", "ber", "irig", "monitor"}) {
    SCOPED_TRACE(command);
    // Help wins over anything else on the line, even wrong usage.
    EXPECT_EQ(Run({command, "--card", "99", "--help"}), 0);
    EXPECT_THAT(out_, ::testing::StartsWith(usage + command));
    EXPECT_EQ(err_, "");
  }
  EXPECT_EQ(Run({"check", "--help"}), 0);
  EXPECT_THAT(out_, ::testing::StartsWith("Usage: zorvctl check FILE"));
  EXPECT_EQ(Run({"status", "--help"}), 0);
  EXPECT_THAT(out_, ::testing::HasSubstr("A reading takes about 2.2 s per card"));
  EXPECT_EQ(Run({"ber", "--help"}), 0);
  EXPECT_THAT(out_, ::testing::HasSubstr("estimated from the bit counts read before\nand after"));
  EXPECT_EQ(Run({"monitor", "--help"}), 0);
  EXPECT_THAT(out_, ::testing::HasSubstr("the lock state four times a second"));
  EXPECT_EQ(Run({"ber", "-h"}), 0);
  EXPECT_THAT(out_, ::testing::HasSubstr("Cards are counted from 1"));
  EXPECT_FALSE(std::filesystem::exists(Path("zorvctl.Log")));
}

}  // namespace
