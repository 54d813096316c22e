#pragma once

#include <cstdint>

// The calls of the optional signing toolkit (cvapi32), which the engine loads
// by name at sign-on and reaches through these function pointers only.
//
// Every call that reports a status returns a 16-bit code: 0 = success; any
// other code is a warning or an error, told apart by CVQueryCorLogWarning.

// A byte buffer passed to and filled by the toolkit: the length, then the
// bytes. Buffers the toolkit fills stay the toolkit's.
struct CVBuffer {
  uint32_t length;
  uint8_t* data;
};

// The login handle the toolkit hands out; 0 means none.
using CVHandle = uint32_t;

// The code of a failed log-in meaning "the directory cannot be reached",
// as CVRemoveWarning returns it.
constexpr uint16_t kCVDirectoryUnreachable = 0xF075;

extern "C" {
// Logs in with the profile, its password and the configuration file; fills
// the handle on success.
using CVLoginFunction = int16_t (*)(CVHandle* handle, const char* profile, const char* password,
                                    const char* configFile);
using CVLogoutFunction = int16_t (*)(CVHandle handle);
// Non-zero when the code is a warning rather than an error.
using CVQueryCorLogWarningFunction = int32_t (*)(int32_t code);
// A readable text for a code; the text stays the toolkit's.
using CVCorLogToStringFunction = const char* (*)(int32_t code);
// Starts protecting data: mode 3 signs, mode 0 makes the value a marked page
// carries; then two reserved values, the content type and a format value.
using CVStartProtectFunction = int16_t (*)(CVHandle handle, int32_t mode, int32_t reserved1,
                                           int32_t reserved2, const char* contentType, int32_t format);
using CVEndProtectFunction = int16_t (*)(CVHandle handle, CVBuffer* first, CVBuffer* second);
using CVProtectFunction = int16_t (*)(CVHandle handle, const CVBuffer* input);
using CVStartUnprotectFunction = int16_t (*)(CVHandle handle, int32_t mode, const char* contentType);
using CVEndUnprotectFunction = int16_t (*)(CVHandle handle, CVBuffer* first, CVBuffer* second);
// Text forms of binary data; the caller provides the target's bytes and
// capacity in its length, the toolkit sets the length it wrote.
using CVASCIIencodeFunction = int16_t (*)(const CVBuffer* input, CVBuffer* output);
using CVASCIIdecodeFunction = int16_t (*)(const CVBuffer* input, CVBuffer* output);
// Takes the warning part out of a log-in code passed by address and returns
// what is left, as a 16-bit value.
using CVRemoveWarningFunction = uint16_t (*)(int16_t* code);
}

// The twelve entry points, all null while the toolkit is not loaded.
struct ToolkitEntryPoints {
  CVLoginFunction login = nullptr;
  CVLogoutFunction logout = nullptr;
  CVQueryCorLogWarningFunction queryCorLogWarning = nullptr;
  CVCorLogToStringFunction corLogToString = nullptr;
  CVStartProtectFunction startProtect = nullptr;
  CVEndProtectFunction endProtect = nullptr;
  CVProtectFunction protect = nullptr;
  CVStartUnprotectFunction startUnprotect = nullptr;
  CVEndUnprotectFunction endUnprotect = nullptr;
  CVASCIIencodeFunction asciiEncode = nullptr;
  CVASCIIdecodeFunction asciiDecode = nullptr;
  CVRemoveWarningFunction removeWarning = nullptr;
};
