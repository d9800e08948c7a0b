#include "dll/keltnametables.h"

#include <string>

#include "support/KesBorGenUnit.h"

const char* const kModelNames[kModelCount] = {"KELT_20", "KELT_10",   "TAVIN",
                                              "TAVINX",  "KELTV2_20", "KELTV2_10"};

const char* const kInputSourceNames[kInputSourceCount] = {
    "SE_INPUT 1 (J1-36)",  "SIMULATOR (J1-9)",   "SE_INPUT 3 (J1-37)",  "SE_INPUT 4 (J1-39)",
    "SE_INPUT 5 (J1-34)",  "SE_INPUT 6 (J1-42)", "SE_INPUT 7 ( J1-35)", "SE_INPUT 8 (J1-40)",
    "DIFF_IN1 (J1-34/36)", "(UNUSED/SIM)",       "DIFF_IN3 (J1-35/37)", "DIFF_IN4 (J1-40/39)"};

const char* const kInputSourcePlainNames[kInputSourceCount] = {
    "SE_INPUT 1", "SE_INPUT 2", "SE_INPUT 3",   "SE_INPUT 4",   "SE_INPUT 5",   "SE_INPUT 6",
    "SE_INPUT 7", "SE_INPUT 8", "DIFF_INPUT 1", "DIFF_INPUT 2", "DIFF_INPUT 3", "DIFF_INPUT 4"};

const char* const kInputCodeNames[kInputCodeCount] = {
    "NRZL",       "NRZM",       "NRZS",    "BIOL",     "BIOM",     "BIOS",       "DMM",
    "DMS",        "MDMM",       "MDMS",    "INV_NRZL", "INV_BIOL", "RZ",         "INV_RZ",
    "RNRZ11",     "RNRZ15",     "RNRZ17",  "RNRZ23",   "INV_NRZM", "INV_NRZS",   "INV_BIOM",
    "INV_BIOS",   "INV_DMM",    "INV_DMS", "INV_MDMM", "INV_MDMS", "INV_RNRZ11", "INV_RNRZ15",
    "INV_RNRZ17", "INV_RNRZ23", "RNRZ9",   "INV_RNRZ9"};

const char* const kOutputCodeNames[kOutputCodeCount] = {
    "NRZL",   "NRZM",   "NRZS",   "BIOL",     "BIOM",     "BIOS", "DMM",
    "DMS",    "MDMM",   "MDMS",   "INV_NRZL", "INV_BIOL", "RZ",   "INV_RZ",
    "RNRZ11", "RNRZ15", "RNRZ17", "RNRZ23",   "RNRZ9"};

const char* const kLoopBandwidthNames[kLoopBandwidthCount] = {"2.0", "1.0",  "0.5",  "0.2",
                                                              "0.1", "0.05", "0.02", "0.01"};

const char* const kLoopBandwidth17Names[kLoopBandwidth17Count] = {
    "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9",
    "1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "2.0", "3.0"};

const char* const kLockStatusNames[kLockStatusCount] = {"NOCLK_NOSIG", "SEARCH", "LOCK",
                                                        "LOCK",        "ERROR",  "DOES NOT EXIST"};

namespace {

std::string ModelText(int32_t model) {
  if (model >= 0 && static_cast<size_t>(model) < kModelCount) return kModelNames[model];
  return std::to_string(model);
}

std::string IndexText(int32_t index) {
  return FormatFixed(4, 0, index);
}

void Report(const char* label, const std::string& value) {
  LogInfo(std::string(label) + value, 0, false);
}

void ReportFlag(const char* label, uint8_t flag) {
  Report(label, YesNoText(flag != 0));
}

}  // namespace

void PrintBitsyncSetup(BitsyncSetup setup) {
  LogInfo("The Setup Data Used is as follow:", 0, false);
  Report("Model                             ", ModelText(setup.Model));
  Report("InputSource                       ", IndexText(setup.InputSource));
  Report("InputCode                         ", IndexText(setup.InputCode));
  Report("OutputCode                        ", IndexText(setup.OutputCode));
  Report("LoopBandwidth                     ", IndexText(setup.LoopBandwidth));
  Report("BitRate                           ", FormatFixed(14, 0, setup.BitRate));
  ReportFlag("BitDecisionDetector (k^2 or I&D)  ", setup.BitDecisionDetector);
  ReportFlag("StartupAutoTestEnabled  ", setup.StartupAutoTestEnabled);
  ReportFlag("Pattern15Bit  ", setup.Pattern15Bit);
  ReportFlag("NrzlDcOutputDisabledAtSymbolUnlock  ", setup.NrzlDcOutputDisabledAtSymbolUnlock);
  ReportFlag("NrzlDcOutputDisabledAtEsNo5Db  ", setup.NrzlDcOutputDisabledAtEsNo5Db);
  ReportFlag("PcmEncoderOutputDisabledAtSymbolUnlock  ",
             setup.PcmEncoderOutputDisabledAtSymbolUnlock);
  ReportFlag("PcmEncoderOutputDisabledAtEsNo5Db  ", setup.PcmEncoderOutputDisabledAtEsNo5Db);
  ReportFlag("BerTestingEnabled  ", setup.BerTestingEnabled);
  ReportFlag("ExtBerMode  ", setup.ExtBerMode);
  ReportFlag("KnownErrorMode  ", setup.KnownErrorMode);
  ReportFlag("QuickReactMode  ", setup.QuickReactMode);
  ReportFlag("Do90DegClkOut  ", setup.Do90DegClkOut);
}
