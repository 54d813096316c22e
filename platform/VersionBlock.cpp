#include "platform/VersionBlock.h"

#define VELGRADE_TEXT(x) #x
#define VELGRADE_NUMBER(x) VELGRADE_TEXT(x)
#define VELGRADE_VERSION_NUMBERS                                                                     \
  VELGRADE_NUMBER(VELGRADE_VERSION_MAJOR) "." VELGRADE_NUMBER(VELGRADE_VERSION_MINOR) "." VELGRADE_NUMBER( \
      VELGRADE_VERSION_PATCH) "." VELGRADE_NUMBER(VELGRADE_VERSION_TWEAK)

__attribute__((used)) const char kVelgradeVersionRecord[] =
    "VELGRADE-VERSION-BLOCK FileVersion=" VELGRADE_VERSION_NUMBERS " ProductVersion=" VELGRADE_VERSION_NUMBERS
    " ProductVersionText=" VELGRADE_VERSION_TEXT " VELGRADE-VERSION-END";
