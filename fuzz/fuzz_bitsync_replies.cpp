// The library's decoders of the bitsync module's special status replies, fed random reply
// bytes of the sizes the library reads. Whatever a module answers decodes to a value in the
// range the callers rely on; a bit rate reply that carries a setup's digits gives its rate.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>

#include "dll/BitsyncReplies.h"
#include "dll/BitsyncSetupEncoder.h"
#include "fuzz/FuzzScratch.h"

namespace {

using zorv_fuzz::Check;

// The input codes, output codes and loop bandwidth rows of the name tables.
constexpr int32_t kInputCodes = 30;
constexpr int32_t kOutputCodes = 18;
constexpr uint8_t kLoopBandwidthRows = 8;
constexpr size_t kTextLength = 7;

template <size_t N>
std::array<uint8_t, N> Reply(FuzzedDataProvider& data) {
  std::array<uint8_t, N> reply{};
  data.ConsumeData(reply.data(), reply.size());
  return reply;
}

void CheckTexts(FuzzedDataProvider& data) {
  const auto text = Reply<bitsync::reply_size::kText>(data);
  const std::string decoded = bitsync::DecodeText(text);
  Check(decoded.size() <= kTextLength && decoded.find('\0') == std::string::npos,
        "a text longer than seven characters or with a NUL");
  const auto es_no = Reply<bitsync::reply_size::kEsNoWithFspCount>(data);
  bitsync::DecodeText(es_no);
  bitsync::DecodeFspCount(es_no);
}

void CheckCodes(FuzzedDataProvider& data) {
  const auto code = Reply<bitsync::reply_size::kProgrammedCode>(data);
  if (const auto input = bitsync::DecodeInputCode(code[2])) {
    Check(*input >= 0 && *input < kInputCodes, "an input code outside the table");
  }
  if (const auto output = bitsync::DecodeOutputCode(code[2])) {
    Check(*output >= 0 && *output < kOutputCodes, "an output code outside the table");
  }
  Check(bitsync::DecodeLoopBandwidth(code[2]) < kLoopBandwidthRows,
        "a loop bandwidth outside the table");
}

void CheckLinkAnalysis(FuzzedDataProvider& data) {
  Check(bitsync::DecodeLinkAnalysisBitCount(
            Reply<bitsync::reply_size::kLinkAnalysisBitCount>(data)) <= 0x3FFFFFFF,
        "a bit count beyond its 30 bits");
  Check(bitsync::DecodeLinkAnalysisErrorCount(
            Reply<bitsync::reply_size::kLinkAnalysisErrorCount>(data)) <= 0xFFFFFF,
        "an error count beyond its 24 bits");
  bitsync::DecodeLinkAnalysisStatus(Reply<bitsync::reply_size::kLinkAnalysisStatus>(data));
  bitsync::OperationalLock(
      bitsync::DecodeOperationalStatus(Reply<bitsync::reply_size::kOperationalStatus>(data)));
}

void CheckConfiguration(FuzzedDataProvider& data) {
  const auto bytes = Reply<bitsync::reply_size::kConfiguration>(data);
  const bitsync::Configuration configuration = bitsync::DecodeConfiguration(bytes);
  Check(configuration.newer_format == (bytes[2] != '1' && bytes[2] != '2'),
        "the configuration's format taken from elsewhere than byte 2");
  Check(configuration.firmware_version_low == bytes[5], "firmware version not byte 5");
}

// The reply to 0xE9 carries the eight digit commands the setup sent.
void CheckBitRate(FuzzedDataProvider& data) {
  const uint32_t bit_rate = data.ConsumeIntegralInRange<uint32_t>(0, bitsync::kMaxBitRate);
  std::array<uint8_t, bitsync::reply_size::kProgrammedBitRate> reply = {
      bitsync::status_command::kProgrammedBitRate, bitsync::reply_size::kProgrammedBitRate};
  uint32_t scale = 10'000'000;
  for (size_t position = 0; position < bitsync::opcode::kDigit.size(); ++position) {
    reply[2 + position] =
        static_cast<uint8_t>(bitsync::opcode::kDigit[position] + bit_rate / scale % 10);
    scale /= 10;
  }
  Check(bitsync::DecodeProgrammedBitRate(reply) == bit_rate, "a bit rate decoded otherwise");
  bitsync::DecodeProgrammedBitRate(Reply<bitsync::reply_size::kProgrammedBitRate>(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  CheckTexts(data);
  CheckCodes(data);
  CheckLinkAnalysis(data);
  CheckConfiguration(data);
  CheckBitRate(data);
  return 0;
}
