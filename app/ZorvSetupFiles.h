#pragma once
// Setup files: every card's bit synchronizer and IRIG setup in a profile file, one "BITSYNC_n"
// and one "IRIG_n" section per card index n, values written as the name tables' texts. The
// configuration file ("ZORVCFG.CFG" in the start directory) has the same layout and also
// remembers the last setup file in "CommonArea". Setups in memory are the only truth: files
// are written whole and read section by section.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"

inline constexpr size_t kIrigCodeCount = 3;
// IRIG code names, indexed by SourceFormat and GeneratorFormat.
inline constexpr const char* kIrigCodeNames[kIrigCodeCount] = {"IRIG B", "IRIG A", "IRIG G"};

// A setup's loop bandwidth as the setup files name it: the model's table (models 0, 1, 4 and 5
// also keep the codes 8 and -1 outside it), none for a model without a loop bandwidth.
std::optional<std::string> LoopBandwidthText(const BitsyncSetup& setup);

// "ZORVCFG.CFG" in the start directory.
std::string ConfigurationFilePath();

// A chosen setup file path as the program keeps it: upper case where the file system ignores
// letter case (as operators' files have always been named there), unchanged where case tells
// files apart.
std::string SetupFilePathAsKept(const std::string& chosen);

// True when a setup file may be written at the path: nothing is there yet, or a file is.
bool IsSetupFilePlace(const std::string& path);

// Writes the file from scratch, keeping the old one as path + ".BAK". Only a path equal to the
// configuration path (letter case included) gets the "CommonArea" section. The sections of the
// card indices beyond `cards` that the old file holds are written back unchanged, so that the
// setups of a card that is absent today survive. A write-protected file stays as it was, and a
// path that names a folder (or anything but a file) is refused before anything is touched.
// False when any write was refused.
bool WriteSetupFile(const std::string& path, const std::string& configuration_path,
                    const std::string& last_setup_file, std::span<const CardData> cards);

// Loads each card's sections. What a file holds that is missing leaves the field as it was; a
// name matching no table row exactly gives row 0, a flag other than "YES" gives NO, and a bit
// rate the card cannot run leaves the field as it was; each value taken otherwise than written
// is a log line naming the file, section, key and value. The bit error test is always off
// afterwards. From the configuration file, the last setup file is taken when the file it names
// exists. False when no file exists at the path.
bool ReadSetupFile(const std::string& path, const std::string& configuration_path,
                   std::string& last_setup_file, std::span<CardData> cards);

// True when the file has a bit synchronizer section for the card index.
bool HasBitsyncSection(const std::string& path, size_t card);

// What keeps a setup file from being taken exactly as written, one text per problem: one that
// names the section, key and value ("[BITSYNC_0] InputCode=FOO: not an input code"), or one
// about the whole file ("holds control bytes: not a text file"); nothing when every value is
// valid. Unlike ReadSetupFile it takes names in any letter case, and input sources also in their
// plain form ("SE_INPUT 2"); keys that no section has are problems too. A section's values are
// judged against the setups of its card in `cards` (the model decides which loop bandwidths and
// bit rates are valid), those of other card indices against the default setups.
std::vector<std::string> CheckSetupFile(const std::string& path, std::span<const CardData> cards);

// ReadSetupFile for a file that CheckSetupFile passed: names are matched as the check matches
// them.
bool ReadCheckedSetupFile(const std::string& path, const std::string& configuration_path,
                          std::string& last_setup_file, std::span<CardData> cards);
