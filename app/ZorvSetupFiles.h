#pragma once
// Setup files: every card's bit synchronizer and IRIG setup in a profile file, one "BITSYNC_n"
// and one "IRIG_n" section per card index n, values written as the name tables' texts. The
// configuration file ("ZORVCFG.CFG" in the start directory) has the same layout and also
// remembers the last setup file in "CommonArea". Setups in memory are the only truth: files
// are written whole and read section by section.

#include <span>
#include <string>

#include "app/Progzorvunit.h"

inline constexpr size_t kIrigCodeCount = 3;
// IRIG code names, indexed by SourceFormat and GeneratorFormat.
inline constexpr const char* kIrigCodeNames[kIrigCodeCount] = {"IRIG B", "IRIG A", "IRIG G"};

// "ZORVCFG.CFG" in the start directory.
std::string ConfigurationFilePath();

// A chosen setup file path as the program keeps it: upper case where the file system ignores
// letter case (as operators' files have always been named there), unchanged where case tells
// files apart.
std::string SetupFilePathAsKept(const std::string& chosen);

// Writes the file from scratch, keeping the old one as path + ".BAK". Only a path equal to the
// configuration path (letter case included) gets the "CommonArea" section. A write-protected
// file stays as it was. False when any write was refused.
bool WriteSetupFile(const std::string& path, const std::string& configuration_path,
                    const std::string& last_setup_file, std::span<const CardData> cards);

// Loads each card's sections. What a file holds that is missing, unknown by name or out of
// range leaves the field as it was, except that a name matching no table row gives row 0; the
// bit error test is always off afterwards. From the configuration file, the last setup file is
// taken when the file it names exists. False when no file exists at the path.
bool ReadSetupFile(const std::string& path, const std::string& configuration_path,
                   std::string& last_setup_file, std::span<CardData> cards);
