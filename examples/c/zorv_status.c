/* zorv_status: opens the library's cards and prints, for each, its lock status, the bit rate
   it is programmed with, its Es/No and the IRIG time, or the result code of a read that
   failed (a card that was never programmed has no bit rate or Es/No to report). Exits 0 when
   the cards were opened and each reported its lock status, 1 otherwise.

   The program is linked with the library (libZORVDLL.so, or ZORVDLL.DLL's import library), so
   the loader loads it, and with it finds and opens the cards, before main starts. Programs
   that load it at run time by file name resolve each export with its ZorvApi...Fn type.

   Try it on emulated cards:  ZORV_EMULATE=2 zorv_status */
#include <stdio.h>

#include "zorv/ZorvApi.h"

static const char* const kLockNames[kZorvApiLockStatusCount] = {
    "NOCLK_NOSIG", "SEARCH", "LOCK", "LOCK (busy)", "ERROR", "DOES NOT EXIST"};

static void PrintFailure(int32_t card, const char* function, int32_t result) {
  printf("card %d: %s failed with result code %d\n", (int)card + 1, function, (int)result);
}

/* One card's lines; false when the lock status could not be read. */
static int PrintCard(int32_t card) {
  int32_t lock = kZorvApiLockNoClockNoSignal;
  uint32_t bit_rate = 0;
  char es_no[kZorvApiMinTextBuffer] = "";
  double seconds = 0.0;
  int32_t result = ZorvApiGetBitsyncStatus(card, &lock);
  const int lock_read = result == kZorvApiSuccess && lock >= 0 && lock < kZorvApiLockStatusCount;
  if (result != kZorvApiSuccess) {
    PrintFailure(card, "ZorvApiGetBitsyncStatus", result);
  } else if (lock_read) {
    printf("card %d: lock status %s\n", (int)card + 1, kLockNames[lock]);
  } else {
    printf("card %d: lock status %d is none of the known ones\n", (int)card + 1, (int)lock);
  }
  result = ZorvApiGetBitsyncProgrammedBitRate(card, &bit_rate);
  if (result != kZorvApiSuccess) {
    PrintFailure(card, "ZorvApiGetBitsyncProgrammedBitRate", result);
  } else {
    printf("card %d: programmed bit rate %lu bit/s\n", (int)card + 1, (unsigned long)bit_rate);
  }
  result = ZorvApiGetEstimatedEsNo(card, es_no);
  if (result != kZorvApiSuccess) {
    PrintFailure(card, "ZorvApiGetEstimatedEsNo", result);
  } else {
    printf("card %d: Es/No \"%s\"\n", (int)card + 1, es_no);
  }
  result = ZorvApiGetIrigNowtime(card, &seconds);
  if (result != kZorvApiSuccess) {
    PrintFailure(card, "ZorvApiGetIrigNowtime", result);
  } else {
    /* Day 1 is January 1st: the day is the whole days in the seconds. */
    const long whole = (long)seconds;
    printf("card %d: IRIG time day %ld %02ld:%02ld:%02ld\n", (int)card + 1, whole / 86400,
           whole / 3600 % 24, whole / 60 % 60, whole % 60);
  }
  return lock_read;
}

int main(void) {
  uint8_t dos_mode = 0;
  int32_t card_count = 0;
  int32_t bitsync_counts[kZorvApiMaxCards] = {0};
  int32_t reserved[kZorvApiMaxCards] = {0};
  int all_read = 1;
  int32_t card = 0;
  const int32_t result = ZorvApiOpen(&dos_mode, &card_count, bitsync_counts, reserved);
  if (result != kZorvApiSuccess) {
    printf("ZorvApiOpen failed with result code %d%s\n", (int)result,
           dos_mode ? ": a card is in DOS mode, reboot the machine" : "");
    return 1;
  }
  printf("%d card(s)\n", (int)card_count);
  for (card = 0; card < card_count; ++card) {
    if (!PrintCard(card)) all_read = 0;
  }
  ZorvApiClose();
  return all_read ? 0 : 1;
}
