#include "app/BitsyncLimits.h"

uint32_t MaximumBitRate(int32_t model, int32_t input_code) {
  const uint32_t limit = (model == 0 || model == 3) ? 25000000 : 10000000;
  const bool biphase = input_code == 3 || input_code == 4 || input_code == 5 || input_code == 11;
  return biphase ? limit / 2 : limit;
}
