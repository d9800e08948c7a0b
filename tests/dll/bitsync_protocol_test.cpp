// The command strobe protocol against the module double: initialisation, waits, the strobe,
// the resend loop and the special status read, with the bounded waits.

#include <gtest/gtest.h>

#include "tests/dll/bitsync_double_fixture.h"

namespace bitsync_test {
namespace {

using ::testing::Test;

class InitBitsyncTest : public BitsyncDoubleTest {};

TEST_F(InitBitsyncTest, WithoutCardHandleFailsWithoutTouchingRegisters) {
  keltbitsyncclass2 bitsync;
  std::string error_text = "stale";
  EXPECT_FALSE(bitsync.InitBitsync(2, true, nullptr, error_text));
  EXPECT_EQ(error_text, "Invalid card driver");
  EXPECT_FALSE(bitsync.IsValid());
  EXPECT_TRUE(module_.accesses.empty());
  EXPECT_EQ(clock_.ElapsedMs(), 0);
  // Register reads without a card answer 0xFF and writes are skipped.
  EXPECT_EQ(bitsync.ReadBitsyncRegister(0x0F), 0xFF);
  bitsync.WriteBitsyncRegister(0x0E, 0x12);
  EXPECT_TRUE(module_.accesses.empty());
}

TEST_F(InitBitsyncTest, AbsentModuleStillClearsPendingReadsAndChecksReadback) {
  module_.status = 0x10;
  module_.command_register = 0x33;
  module_.stuck_pe = true;
  keltbitsyncclass2 bitsync;
  std::string error_text;
  EXPECT_FALSE(bitsync.InitBitsync(0, true, module_.Handle(), error_text));
  EXPECT_EQ(error_text, "Status Indicates NO KELTTF BITSYNC PRESENT");
  EXPECT_EQ(scratch_.Count("pebit is set at init bitsync"), 32);
  EXPECT_EQ(scratch_.Count("...Checking for old/new decom type card for bitsync..."), 1);
  EXPECT_EQ(scratch_.Count("...Done Checking for old/new decom type card for bitsync..."), 1);
  EXPECT_EQ(module_.Writes(0x0E), (std::vector<uint8_t>{0x0A, 0x33}));
}

TEST_F(InitBitsyncTest, PeBitThatNeverClearsEndsAfter32Acknowledges) {
  module_.stuck_pe = true;
  keltbitsyncclass2 bitsync;
  std::string error_text;
  EXPECT_TRUE(bitsync.InitBitsync(0, true, module_.Handle(), error_text));
  const auto lines = scratch_.LinesWith("pebit is set at init bitsync, clearing any pending read");
  ASSERT_EQ(lines.size(), 32u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(lines[i].code, i);
  std::vector<uint8_t> pulses;
  for (int i = 0; i < 32; ++i) pulses.insert(pulses.end(), {0x00, 0x04});
  EXPECT_EQ(module_.Writes(0x0F), pulses);
  EXPECT_EQ(module_.acknowledges, 32);
  EXPECT_EQ(scratch_.Count("   PeBitSet is YES"), 1);
}

struct ReadbackCase {
  bool readback;
  const char* read_line;
  const char* newer_line;
};

class ReadbackTest : public BitsyncDoubleTest,
                     public ::testing::WithParamInterface<ReadbackCase> {};

TEST_P(ReadbackTest, CommandRegisterIsRestoredAfterTheCheck) {
  module_.readback = GetParam().readback;
  module_.command_register = 0x5A;
  keltbitsyncclass2 bitsync;
  std::string error_text;
  ASSERT_TRUE(bitsync.InitBitsync(0, true, module_.Handle(), error_text));
  EXPECT_EQ(bitsync.IsReadbackCapable(), GetParam().readback);
  EXPECT_EQ(error_text, "");
  // The value read before the check goes back afterwards.
  const uint8_t before = module_.accesses.at(1).value;
  EXPECT_EQ(module_.accesses.at(1), (RegisterAccess{false, 0x0E, before}));
  EXPECT_EQ(module_.Writes(0x0E), (std::vector<uint8_t>{0x0A, before}));
  if (GetParam().readback) {
    EXPECT_EQ(module_.command_register, 0x5A);
  }
  EXPECT_EQ(scratch_.Count("   Writing 0A To Command Reg "), 1);
  EXPECT_EQ(scratch_.Count(GetParam().read_line), 1);
  EXPECT_EQ(scratch_.Count(GetParam().newer_line), 1);
}

INSTANTIATE_TEST_SUITE_P(NewerAndOlderMotherCard, ReadbackTest,
                         ::testing::Values(ReadbackCase{true, "   Read 0A From Command Reg ",
                                                        "Is Newer Decom Card is YES"},
                                           ReadbackCase{false, "   Read F5 From Command Reg ",
                                                        "Is Newer Decom Card is NO"}));

class WaitTest : public BitsyncDoubleTest {};

TEST_F(WaitTest, BusyBitClearingOnTheFifthPollNeedsNoLongSleep) {
  Open();
  module_.busy_reads = 4;
  EXPECT_TRUE(bitsync_->WaitBitsyncReady());
  EXPECT_EQ(module_.StatusReads(), 5);
  EXPECT_EQ(clock_.yields, 4);
  EXPECT_EQ(clock_.SleepsOf(28), 0);
  EXPECT_EQ(clock_.ElapsedMs(), 10);
}

TEST_F(WaitTest, StuckBusyGivesUpAfter1000PollsAndAbout27Seconds) {
  Open();
  module_.stuck_busy = true;
  EXPECT_FALSE(bitsync_->WaitBitsyncReady());
  EXPECT_EQ(module_.StatusReads(), 1000);
  EXPECT_EQ(clock_.SleepsOf(28), 899);
  EXPECT_EQ(clock_.ElapsedMs(), 1000 * 2 + 899 * 28);
}

TEST_F(WaitTest, TransactionFlagIsWaitedForAbout300Milliseconds) {
  Open();
  ASSERT_TRUE(bitsync_->WaitNotInUse());
  EXPECT_TRUE(bitsync_->IsTransactionInProgress());
  EXPECT_FALSE(bitsync_->WaitNotInUse());
  EXPECT_EQ(clock_.SleepsOf(5), 60);
  EXPECT_EQ(clock_.ElapsedMs(), 300);
  bitsync_->EndTransaction();
  EXPECT_TRUE(bitsync_->WaitNotInUse());
  EXPECT_EQ(clock_.ElapsedMs(), 300);
  bitsync_->EndTransaction();
}

class StrobeTest : public BitsyncDoubleTest {};

TEST_F(StrobeTest, SendsExactlyTheCommandAndOneLowHighPulse) {
  Open();
  bitsync_->WriteBitsyncRegister(0x0F, 0xCF);
  Forget();
  EXPECT_TRUE(bitsync_->StrobeBitsyncCommand(0x55));
  std::vector<RegisterAccess> writes;
  for (const auto& access : module_.accesses) {
    if (access.write) writes.push_back(access);
  }
  EXPECT_EQ(writes, (std::vector<RegisterAccess>{
                        {true, 0x0E, 0x55}, {true, 0x0F, 0xCB}, {true, 0x0F, 0xCF}}));
  EXPECT_EQ(module_.commands, (std::vector<uint8_t>{0x55}));
}

TEST_F(StrobeTest, StuckModuleFailsTheStrobeWithItsLine) {
  Open();
  module_.stuck_busy = true;
  EXPECT_FALSE(bitsync_->StrobeBitsyncCommand(0x55));
  EXPECT_TRUE(module_.Writes(0x0E).empty());
  const auto lines = scratch_.LinesWith("StrobeBitsyncCommand Failed");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Bitsync for card 1 StrobeBitsyncCommand Failed");
  EXPECT_EQ(lines[0].code, 1);
}

TEST_F(StrobeTest, ResendLoopGivesUpAtTheRefusedCommandAndMarksTheBitsyncInvalid) {
  Open();
  module_.busy_after_commands = 2;
  BitsyncSetup setup{};
  setup.BitRate = 1'024'000;
  std::string error_text;
  EXPECT_FALSE(bitsync_->SendCompleteBitsyncSetup(setup, 0, error_text));
  EXPECT_EQ(module_.commands, (std::vector<uint8_t>{0x00, 0x90}));
  const auto resending = scratch_.LinesWith("Invalid bitsync strobe command..resending");
  ASSERT_EQ(resending.size(), 2u);
  for (const auto& line : resending) {
    EXPECT_EQ(line.text, "Bitsync for card 1 Invalid bitsync strobe command..resending");
    EXPECT_EQ(line.code, 2);
  }
  const auto last = scratch_.LinesWith("NO MORE RESENDS");
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].code, 2);
  const auto invalid = scratch_.LinesWith("No communication with the bitsync");
  ASSERT_EQ(invalid.size(), 1u);
  EXPECT_EQ(invalid[0].text,
            "Bitsync for card 1 No communication with the bitsync, setting the bitsync invalid");
  EXPECT_EQ(invalid[0].code, 1);
  EXPECT_FALSE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
  EXPECT_NE(error_text.find("0x11"), std::string::npos) << error_text;
  // An invalid bitsync stays silent afterwards.
  Forget();
  EXPECT_FALSE(bitsync_->StrobeBitsyncCommand(0x00));
  EXPECT_TRUE(module_.accesses.empty());
}

class SpecialStatusTest : public BitsyncDoubleTest {};

TEST_F(SpecialStatusTest, StoresUpToCapacityAndAcknowledgesEveryByte) {
  Open();
  Configure();
  module_.Reply(0xE9, {1, 2, 3, 4, 5, 6, 7, 8});
  std::array<uint8_t, 10> buffer;
  buffer.fill(0xEE);
  EXPECT_TRUE(bitsync_->RequestSpecialStatus(0xE9, 6, buffer.data()));
  EXPECT_EQ(buffer, (std::array<uint8_t, 10>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(module_.acknowledges, 8);
  EXPECT_EQ(module_.commands, (std::vector<uint8_t>{0xE9, 0x0A}));
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
}

struct PeWaitCase {
  int reply_delay_reads;
  bool answered;
};

class PeWaitTest : public BitsyncDoubleTest, public ::testing::WithParamInterface<PeWaitCase> {};

TEST_P(PeWaitTest, FiveFailedPeTestsAreToleratedTheSixthEndsTheRequest) {
  Open();
  Configure();
  module_.Reply(0xEA, {0xEA, 0x03, 0xA4});
  module_.reply_delay_reads = GetParam().reply_delay_reads;
  std::array<uint8_t, 3> buffer{};
  EXPECT_EQ(bitsync_->RequestSpecialStatus(0xEA, 3, buffer.data()), GetParam().answered);
  EXPECT_EQ(clock_.SleepsOf(28), 5);
  EXPECT_EQ(buffer[2], GetParam().answered ? 0xA4 : 0x00);
  const auto lines = scratch_.LinesWith("Bitsync Not Ready To Receive Data");
  EXPECT_EQ(lines.size(), GetParam().answered ? 0u : 1u);
  if (!lines.empty()) {
    EXPECT_EQ(lines[0].text,
              "Bitsync Not Ready To Receive Data. ERROR, disabled the special commands set.");
    EXPECT_EQ(lines[0].code, 1);
  }
  EXPECT_TRUE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
}

// After the 0x0A strobe the module is read twice (the strobe's own ready wait and the busy
// test) before the first PE test; a delay of 7 reads therefore fails exactly five PE tests.
INSTANTIATE_TEST_SUITE_P(FiveAndSixFailures, PeWaitTest,
                         ::testing::Values(PeWaitCase{7, true},
                                           PeWaitCase{ModuleDouble::kNever, false}));

TEST_F(SpecialStatusTest, RefusedWhenInvalidOrWithoutSpecialCommands) {
  Open();
  std::array<uint8_t, 6> buffer{};
  EXPECT_FALSE(bitsync_->RequestSpecialStatus(0xED, 6, buffer.data()));
  const auto refusal = scratch_.LinesWith("cannot handle special commands");
  ASSERT_EQ(refusal.size(), 1u);
  EXPECT_EQ(refusal[0].text,
            "RequestSpecialStatus Special Status card cannot handle special commands");
  EXPECT_EQ(refusal[0].code, 255);

  keltbitsyncclass2 invalid;
  std::string error_text;
  ASSERT_FALSE(invalid.InitBitsync(0, true, nullptr, error_text));
  EXPECT_FALSE(invalid.RequestSpecialStatus(0xED, 6, buffer.data()));
  const auto lines = scratch_.LinesWith("RequestSpecialStatus Special Status card invalid");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].code, 255);
  EXPECT_TRUE(module_.commands.empty());
}

TEST_F(SpecialStatusTest, AnotherTransactionHoldingTheFlagIsAFailureWithTheBufferUntouched) {
  Open();
  Configure();
  module_.Reply(0xE9, {0xE9, 10, 0x91, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78});
  ASSERT_TRUE(bitsync_->WaitNotInUse());
  std::array<uint8_t, 10> buffer;
  buffer.fill(0x5C);
  EXPECT_FALSE(bitsync_->RequestSpecialStatus(0xE9, 10, buffer.data()));
  bitsync_->EndTransaction();
  EXPECT_EQ(buffer[2], 0x5C);
  EXPECT_TRUE(module_.accesses.empty());
  EXPECT_EQ(clock_.ElapsedMs(), 300);
  EXPECT_TRUE(bitsync_->IsValid());
}

struct StuckReplyCase {
  const char* name;
  int busy_after_commands;
  int busy_after_acknowledges;
  size_t reply_length;
};

class StuckReplyTest : public BitsyncDoubleTest,
                       public ::testing::WithParamInterface<StuckReplyCase> {};

TEST_P(StuckReplyTest, GivesUpLikeTheResendLoopInsteadOfWaitingForever) {
  Open();
  Configure();
  module_.busy_after_commands = GetParam().busy_after_commands;
  module_.busy_after_acknowledges = GetParam().busy_after_acknowledges;
  std::vector<uint8_t> reply(GetParam().reply_length, 0x42);
  module_.Reply(0xE8, reply);
  std::array<uint8_t, 7> buffer{};
  EXPECT_FALSE(bitsync_->RequestSpecialStatus(0xE8, 7, buffer.data()));
  const auto lines = scratch_.LinesWith("No communication with the bitsync");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text,
            "Bitsync for card 1 No communication with the bitsync, setting the bitsync invalid");
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_FALSE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
}

INSTANTIATE_TEST_SUITE_P(
    BoundedWaits, StuckReplyTest,
    ::testing::Values(
        // Busy for good once the request's two commands are in: before the first reply byte.
        StuckReplyCase{"BusyBeforeTheReply", 2, ModuleDouble::kNever, 7},
        // Busy for good after the first acknowledge: inside the read loop.
        StuckReplyCase{"BusyInsideTheReadLoop", ModuleDouble::kNever, 1, 7},
        // PE that never drops: more bytes than any reply has.
        StuckReplyCase{"EndlessReply", ModuleDouble::kNever, ModuleDouble::kNever, 300}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bitsync_test
