#pragma once
// What a card window does with its card, apart from drawing it: programming the card's setups,
// the IRIG refresh, and the two groups of slow values its polling pass reads. The operator
// program's windows and the command-line tool share it, so both treat a card alike.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"

// The marker file that makes the loop bandwidth code count from 1 (engineering stations).
inline constexpr const char* kMarkerFileName = "xyalsdke.atf";

// Programs the card's bit synchronizer setup, then its quick react byte. With the marker file
// the code sent is one lower than the record's (a negative code is sent as 0 and kept), and the
// record holds at least 1 afterwards. True when both calls succeeded.
bool ReloadBitsyncSetup(progzorvclass& zorv, int32_t card, bool marker_file);
// The two halves of that: the record as the card is to get it (the stored record takes its
// lowest code of 1 with the marker file), and the two calls that program it.
BitsyncSetup BitsyncSetupToSend(BitsyncSetup& stored, bool marker_file);
bool LoadBitsyncSetupAndQuickReact(progzorvclass& zorv, int32_t card, const BitsyncSetup& setup,
                                   uint8_t quick_react_mode);

// The bit synchronizer's lock status. The library refuses the read of a card without a bit
// synchronizer instead of naming it: such a card reads DOES NOT EXIST (5), in live mode. False
// when the card did not answer.
bool ReadLockStatus(progzorvclass& zorv, int32_t card, int32_t& status);

// The decoded IRIG time of year; 0 when the card gives no valid number or no answer. False when
// the card did not answer.
bool ReadIrigTime(progzorvclass& zorv, int32_t card, double& seconds);
// The IRIG status as the card window shows it: the library's in live mode; in simulate mode 1
// for the internal source, else 2 without flywheel and 3 with it.
bool ReadIrigStatus(progzorvclass& zorv, int32_t card, int32_t& status);
// The same for a card whose setup record the caller holds a copy of (a card window's thread).
bool ReadIrigStatus(progzorvclass& zorv, int32_t card, const IrigSetup& setup, int32_t& status);
// The IRIG panel's status text: the status name for an external source (empty for a code
// without one), "INTERNAL RTC" otherwise.
std::string IrigStatusText(int32_t status, bool source_external);
// The name of an IRIG status code ("FLYWHEEL"); empty for a code without one.
std::string IrigStatusName(int32_t status);

// The polling pass reads a card's slow values only while its bit synchronizer exists (lock
// status other than 5), has more than four input sources and offers the built-in test.
bool IsPolled(const CardData& card, int32_t lock_status);

// One read of a polling group into the status record given.
using StatusRead = bool (progzorvclass::*)(int32_t, BitsyncStatusData&);
// The reads of group A (0: operational status, voltage, offset frequency, Es/No, then the link
// analysis reads) or group B (1: built-in test, programmed bit rate), in their order. A card
// window's thread runs them one by one on its own copy of the status record.
std::vector<StatusRead> PollGroupReads(int32_t group, bool ber_testing);
// The link analysis reads: the bit count, and while the bit error test runs the error count and
// the link analysis flags.
std::vector<StatusRead> LinkAnalysisReads(bool ber_testing);
// Error count / bit count, 0 while the bit count is 0.
void UpdateBitErrorRate(BitsyncStatusData& status);

// Tells a polling group to stop after the call during which it became true.
using StopTest = bool (*)();

// Group A: operational status, signal voltage, offset frequency and Es/No, then the link
// analysis reads. Group B: built-in test and the programmed bit rate. A failed read leaves its
// fields as they were and the group goes on. True when every read succeeded and the group was
// not stopped.
bool ReadPollGroupA(progzorvclass& zorv, int32_t card, StopTest stop);
// The link analysis reads that end group A: the bit count; while the bit error test runs also
// the error count, the link analysis flags and then the bit error rate (error count / bit count,
// 0 while the bit count is 0).
bool ReadLinkAnalysis(progzorvclass& zorv, int32_t card, StopTest stop);
bool ReadPollGroupB(progzorvclass& zorv, int32_t card, StopTest stop);
