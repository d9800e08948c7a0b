// The last export the binding resolves; the fake built without this file must be refused.

#include "tests/app/FakeZorvDll.h"

int32_t ZORVAPI_CALL ZorvApiGetBsFspCount(int32_t card, uint16_t* fsp_count) {
  const int32_t result = FakeAnswer(card);
  if (result == kZorvApiSuccess) *fsp_count = 12;
  return result;
}
