// Setup files as the operator program reads them: random file bytes, read into every card
// index a file can hold, checked, written back with a random number of cards (the program has one
// at least) (the others' sections kept from the old file), read again: the same records.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "app/ZorvSetupFiles.h"
#include "fuzz/FuzzScratch.h"

namespace {

// The card indices a setup file has sections for.
constexpr size_t kCardIndices = 10;

// True when the cards hold the same of what a setup file holds. Its one QuickReactMode is the
// card's byte, which replaces the record's as the file is written.
bool SameFileRecord(const CardData& a, const CardData& b) {
  BitsyncSetup a_setup = a.bitsync_setup;
  BitsyncSetup b_setup = b.bitsync_setup;
  a_setup.QuickReactMode = b_setup.QuickReactMode = 0;
  const IrigSetup& a_irig = a.irig_setup;
  const IrigSetup& b_irig = b.irig_setup;
  // The record has no padding: its layout is fixed for the library's callers.
  return std::memcmp(&a_setup, &b_setup, sizeof a_setup) == 0 &&
         a.quick_react_mode == b.quick_react_mode && a_irig.SourceFormat == b_irig.SourceFormat &&
         a_irig.SourceExternal == b_irig.SourceExternal &&
         a_irig.FlywheelEnabled == b_irig.FlywheelEnabled &&
         a_irig.GeneratorFormat == b_irig.GeneratorFormat;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const size_t written_cards = data.ConsumeIntegralInRange<size_t>(1, kCardIndices);
  const bool as_configuration = data.ConsumeBool();
  const std::string path = zorv_fuzz::ScratchPath("SETUP.INI");
  zorv_fuzz::WriteFileBytes(path, data.ConsumeRemainingBytesAsString());
  const std::string configuration_path = as_configuration ? path : "";

  std::array<CardData, kCardIndices> read{};
  std::string last_setup_file;
  zorv_fuzz::Check(ReadSetupFile(path, configuration_path, last_setup_file, read),
                   "an existing file did not read");
  CheckSetupFile(path, read);
  std::array<CardData, kCardIndices> tolerant{};
  ReadCheckedSetupFile(path, configuration_path, last_setup_file, tolerant);

  const bool all_written = WriteSetupFile(path, configuration_path, last_setup_file,
                                          std::span(read).first(written_cards));
  std::array<CardData, kCardIndices> again{};
  std::string last_again;
  zorv_fuzz::Check(ReadSetupFile(path, configuration_path, last_again, again),
                   "a written file did not read");
  // A refused write (a kept key that cannot be stored) is reported; the cards written must
  // read back all the same.
  const size_t compared = all_written ? kCardIndices : written_cards;
  for (size_t n = 0; n < compared; ++n) {
    if (n < written_cards) {
      zorv_fuzz::Check(again[n].bitsync_setup.QuickReactMode == read[n].quick_react_mode,
                       "the record's quick react mode is not the card's byte written");
    }
    if (!SameFileRecord(again[n], read[n])) {
      zorv_fuzz::Fail("card index " + std::to_string(n) + " read back otherwise");
    }
  }
  if (as_configuration) {
    zorv_fuzz::Check(last_again == last_setup_file, "the last setup file read back otherwise");
  }
  return 0;
}
