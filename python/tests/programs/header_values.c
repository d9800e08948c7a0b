/* What zorv/ZorvApi.h says, as a C99 compiler reads it, printed as one JSON object: the
   records' sizes and offsets, the constants by group and the export list. The Python tests
   compare the package with it; building it proves that the header is C. */
#include <stdio.h>

#include "zorv/ZorvApi.h"

static const char* separator = "";

static void Begin(const char* name) {
  printf("%s\"%s\": {", separator, name);
  separator = "";
}

static void End(void) {
  printf("}");
  separator = ", ";
}

static void Value(const char* name, long value) {
  printf("%s\"%s\": %ld", separator, name, value);
  separator = ", ";
}

#define CONSTANT(name) Value(#name, (long)(name))
#define FIELD(record, field) Value(#field, (long)offsetof(record, field))
#define EXPORT_NAME(name, short_name)   \
  printf("%s\"%s\"", separator, #name); \
  separator = ", ";

int main(void) {
  printf("{");
  Begin("BitsyncSetup");
  Value("size", (long)sizeof(BitsyncSetup));
  FIELD(BitsyncSetup, Model);
  FIELD(BitsyncSetup, InputSource);
  FIELD(BitsyncSetup, InputCode);
  FIELD(BitsyncSetup, OutputCode);
  FIELD(BitsyncSetup, LoopBandwidth);
  FIELD(BitsyncSetup, BitRate);
  FIELD(BitsyncSetup, BitDecisionDetector);
  FIELD(BitsyncSetup, QuickReactMode);
  FIELD(BitsyncSetup, StartupAutoTestEnabled);
  FIELD(BitsyncSetup, Pattern15Bit);
  FIELD(BitsyncSetup, NrzlDcOutputDisabledAtSymbolUnlock);
  FIELD(BitsyncSetup, NrzlDcOutputDisabledAtEsNo5Db);
  FIELD(BitsyncSetup, PcmEncoderOutputDisabledAtSymbolUnlock);
  FIELD(BitsyncSetup, PcmEncoderOutputDisabledAtEsNo5Db);
  FIELD(BitsyncSetup, BerTestingEnabled);
  FIELD(BitsyncSetup, ExtBerMode);
  FIELD(BitsyncSetup, KnownErrorMode);
  FIELD(BitsyncSetup, Do90DegClkOut);
  End();
  Begin("IrigSetup");
  Value("size", (long)sizeof(IrigSetup));
  FIELD(IrigSetup, SourceFormat);
  FIELD(IrigSetup, SourceExternal);
  FIELD(IrigSetup, FlywheelEnabled);
  FIELD(IrigSetup, GeneratorFormat);
  End();
  Begin("ResultCode");
  CONSTANT(kZorvApiSuccess);
  CONSTANT(kZorvApiDosMode);
  CONSTANT(kZorvApiNotOpen);
  CONSTANT(kZorvApiBadCardIndex);
  CONSTANT(kZorvApiNoIrig);
  CONSTANT(kZorvApiNoBitsync);
  CONSTANT(kZorvApiIrigStatusFailed);
  CONSTANT(kZorvApiIrigNowtimeFailed);
  CONSTANT(kZorvApiIrigSetupFailed);
  CONSTANT(kZorvApiBitsyncStatusFailed);
  CONSTANT(kZorvApiBitsyncSetupFailed);
  CONSTANT(kZorvApiNotReadbackCapable);
  CONSTANT(kZorvApiOptionsFailed);
  CONSTANT(kZorvApiProgrammedBitRateFailed);
  CONSTANT(kZorvApiProgrammedInputCodeFailed);
  CONSTANT(kZorvApiProgrammedOutputCodeFailed);
  CONSTANT(kZorvApiProgrammedLoopBwFailed);
  CONSTANT(kZorvApiOperationalStatusFailed);
  CONSTANT(kZorvApiBitFailed);
  CONSTANT(kZorvApiBitCountFailed);
  CONSTANT(kZorvApiErrorCountFailed);
  CONSTANT(kZorvApiOffsetFrequencyFailed);
  CONSTANT(kZorvApiSignalVoltageFailed);
  CONSTANT(kZorvApiEsNoFailed);
  CONSTANT(kZorvApiLinkAnalysisStatusFailed);
  CONSTANT(kZorvApiQuickReactFailed);
  End();
  Begin("LockStatus");
  CONSTANT(kZorvApiLockNoClockNoSignal);
  CONSTANT(kZorvApiLockSearch);
  CONSTANT(kZorvApiLockLocked);
  CONSTANT(kZorvApiLockBusy);
  CONSTANT(kZorvApiLockError);
  CONSTANT(kZorvApiLockDoesNotExist);
  End();
  Begin("IrigStatus");
  CONSTANT(kZorvApiIrigBusy);
  CONSTANT(kZorvApiIrigError);
  CONSTANT(kZorvApiIrigReady);
  End();
  Begin("Counts");
  CONSTANT(kZorvApiLockStatusCount);
  CONSTANT(kZorvApiMaxCards);
  CONSTANT(kZorvApiMinTextBuffer);
  CONSTANT(kZorvApiExportCount);
  End();
  printf("%s\"exports\": [", separator);
  separator = "";
  ZORVAPI_EXPORTS(EXPORT_NAME)
  printf("]}\n");
  return 0;
}
