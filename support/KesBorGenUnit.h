#pragma once
// Number and text formatting used by log lines, reports, settings values and displays, and
// the message operations over the error log. No function here throws: a conversion that
// fails yields its marker text.

#include <cstdint>
#include <string>

std::string YesNoText(bool value);
std::string FormatFixed(int max_length, int decimals, double x);
std::string FormatExponent(int precision, int digits, double x);
std::string FormatNumberText(double x, int total, int decimals);
std::string FormatHex(uint32_t value, int width, bool prefix);
std::string FormatOctal(uint32_t value, int width, bool prefix);
// Values from 2^63 to 2^64 - 1 print as their unsigned 64-bit digits.
std::string FormatHex64(long double x, int width, bool prefix);
std::string NibbleBits(char c);
std::string FormatBinary(uint32_t value, int bit_count);
std::string PadOrCut(int width, char fill, const std::string& s);
void TrimTrailingChar(std::string& s, char c);
void ReplaceChar(std::string& s, char from, char to, bool trim_first);
std::string StripLeadingChar(char c, const std::string& s);
std::string RemoveAllChar(char c, const std::string& s);
std::string TextBefore(const std::string& s, const std::string& marker);
std::string TextAfter(const std::string& s, const std::string& marker);
bool ParseIntWhole(const std::string& s, int32_t& value, int base);
bool ParseDoubleWhole(const std::string& s, double& value);
bool IsBitSet(uint32_t value, int bit);
uint32_t SetBit(uint32_t value, int bit);
uint32_t ClearBit(uint32_t value, int bit);
uint32_t RandomMasked(uint32_t mask);
double MedianOf3(double a, double b, double c);
bool InRange(double x, double a, double b);
double SafePow(double x, double y);
std::string SystemErrorText(uint32_t error_number);

// printf "%0*.*f" in the C locale (a decimal point whatever the process locale) into
// [first, last); returns the end of the text, or nullptr when it does not fit or x is not finite.
char* PrintPaddedFixed(char* first, char* last, double x, int width, int decimals);

// Writes the line to the open log (nothing without one), then shows an "INFO" box on request.
void LogInfo(const std::string& message, int32_t code, bool show_box);
// Sounds the error signal, logs the line, then shows an "ERROR" box on request.
void LogError(const std::string& message, int32_t code, bool show_box);
