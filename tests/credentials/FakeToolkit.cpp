// A stand-in for the signing toolkit, loaded from a test folder by its full
// path. The test picks the code its log-in answers with and reads how often
// it was called.
#include <cstdint>

#include "engine/ToolkitEntryPoints.h"

namespace {

int16_t g_loginCode = 0;
int g_logins = 0;
int g_logouts = 0;
constexpr CVHandle kHandle = 7;

}  // namespace

extern "C" {

// Codes: 0 success, positive a warning, negative an error; the 16-bit value
// 0xF075 is the unreachable directory.
__attribute__((visibility("default"))) void FakeToolkitSetLoginCode(int16_t code) { g_loginCode = code; }

__attribute__((visibility("default"))) void FakeToolkitGetCounts(int* logins, int* logouts) {
  *logins = g_logins;
  *logouts = g_logouts;
}

__attribute__((visibility("default"))) int16_t CVLogin(CVHandle* handle, const char*, const char*,
                                                       const char*) {
  ++g_logins;
  *handle = g_loginCode >= 0 ? kHandle : 0;
  return g_loginCode;
}

__attribute__((visibility("default"))) int16_t CVLogout(CVHandle handle) {
  if (handle == kHandle) ++g_logouts;
  return 0;
}

__attribute__((visibility("default"))) int32_t CVQueryCorLogWarning(int32_t code) { return code > 0 ? 1 : 0; }

__attribute__((visibility("default"))) const char* CVCorLogToString(int32_t code) {
  if (code > 0) return "Toolkit warning";
  if (static_cast<uint16_t>(code) == kCVDirectoryUnreachable) return "Toolkit directory unavailable";
  return "Toolkit error";
}

__attribute__((visibility("default"))) uint16_t CVRemoveWarning(int16_t* code) {
  return static_cast<uint16_t>(*code);
}

__attribute__((visibility("default"))) int16_t CVStartProtect(CVHandle, int32_t, int32_t, int32_t,
                                                              const char*, int32_t) {
  return 0;
}
__attribute__((visibility("default"))) int16_t CVEndProtect(CVHandle, CVBuffer*, CVBuffer*) { return 0; }
__attribute__((visibility("default"))) int16_t CVProtect(CVHandle, const CVBuffer*) { return 0; }
__attribute__((visibility("default"))) int16_t CVStartUnprotect(CVHandle, int32_t, const char*) { return 0; }
__attribute__((visibility("default"))) int16_t CVEndUnprotect(CVHandle, CVBuffer*, CVBuffer*) { return 0; }
__attribute__((visibility("default"))) int16_t CVASCIIencode(const CVBuffer*, CVBuffer*) { return 0; }
__attribute__((visibility("default"))) int16_t CVASCIIdecode(const CVBuffer*, CVBuffer*) { return 0; }
}
