// The twelve calls of libcvapi32.so, exported under their plain names (the
// program's loader maps "_CVLogin@16" to "CVLogin"). Their types are the ones
// the engine calls them through; the checks at the end keep the two in step.
//
// Every call returns a ToolkitStatus and lets no exception out. Buffers the
// toolkit fills (CVEndProtect) stay the toolkit's and remain valid until the
// next CVStartProtect on the same handle or its log-out.
#include <new>
#include <type_traits>

#include "engine/ToolkitEntryPoints.h"
#include "toolkit/AsciiCoder.h"
#include "toolkit/SessionTable.h"
#include "toolkit/ToolkitStatus.h"

using toolkit::AsciiCoder;
using toolkit::SessionTable;
using toolkit::ToolkitSession;
using toolkit::ToolkitStatus;

#define CV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Runs body, turning any exception into a status.
template <typename Body>
int16_t Guard(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ToolkitStatus::kInternal;
  } catch (...) {
    return ToolkitStatus::kInternal;
  }
}

void Fill(CVBuffer* target, const BinData* source) {
  if (target == nullptr) return;
  target->length = source != nullptr ? static_cast<uint32_t>(source->GetLength()) : 0;
  target->data = source != nullptr && !source->IsEmpty() ? const_cast<uint8_t*>(source->GetData()) : nullptr;
}

bool ReadableBuffer(const CVBuffer* buffer) {
  return buffer != nullptr && (buffer->data != nullptr || buffer->length == 0);
}

template <typename Code>
int16_t Transcode(const CVBuffer* input, CVBuffer* output, Code code) {
  if (output == nullptr) return ToolkitStatus::kBadArgument;
  if (!ReadableBuffer(input)) {
    output->length = 0;
    return ToolkitStatus::kBadArgument;
  }
  return Guard([&] {
    size_t length = output->length;
    int16_t status = code(input->data, input->length, output->data, length);
    output->length = static_cast<uint32_t>(length);
    return status;
  });
}

}  // namespace

CV_EXPORT int16_t CVLogin(CVHandle* handle, const char* profile, const char* password,
                          const char* configFile) {
  if (handle == nullptr) return ToolkitStatus::kBadArgument;
  *handle = 0;
  return Guard([&] {
    std::unique_ptr<ToolkitSession> session;
    int16_t status = ToolkitSession::LogIn(profile, password, configFile, session);
    if (session) {
      *handle = SessionTable::Instance().Add(std::move(session));
      if (*handle == 0) return ToolkitStatus::kInternal;
    }
    return status;
  });
}

CV_EXPORT int16_t CVLogout(CVHandle handle) {
  return Guard([&] {
    return SessionTable::Instance().Remove(handle) ? ToolkitStatus::kOk : ToolkitStatus::kNotLoggedIn;
  });
}

CV_EXPORT int32_t CVQueryCorLogWarning(int32_t code) {
  return ToolkitStatus::IsWarning(code) ? 1 : 0;
}

CV_EXPORT const char* CVCorLogToString(int32_t code) {
  return ToolkitStatus::Text(code);
}

CV_EXPORT int16_t CVStartProtect(CVHandle handle, int32_t mode, int32_t, int32_t, const char* contentType,
                                 int32_t format) {
  return Guard([&] {
    std::shared_ptr<ToolkitSession> session = SessionTable::Instance().Find(handle);
    if (!session) return ToolkitStatus::kNotLoggedIn;
    return session->StartProtect(mode, contentType, format);
  });
}

CV_EXPORT int16_t CVProtect(CVHandle handle, const CVBuffer* input) {
  if (!ReadableBuffer(input)) return ToolkitStatus::kBadArgument;
  return Guard([&] {
    std::shared_ptr<ToolkitSession> session = SessionTable::Instance().Find(handle);
    if (!session) return ToolkitStatus::kNotLoggedIn;
    return session->Protect(input->data, input->length);
  });
}

// first: the signature (mode 3; empty in mode 0); second: the SHA-256 digest
// of the data, the value a marked page carries.
CV_EXPORT int16_t CVEndProtect(CVHandle handle, CVBuffer* first, CVBuffer* second) {
  Fill(first, nullptr);
  Fill(second, nullptr);
  return Guard([&] {
    std::shared_ptr<ToolkitSession> session = SessionTable::Instance().Find(handle);
    if (!session) return ToolkitStatus::kNotLoggedIn;
    const BinData* signature = nullptr;
    const BinData* digest = nullptr;
    int16_t status = session->EndProtect(signature, digest);
    Fill(first, signature);
    Fill(second, digest);
    return status;
  });
}

// This toolkit only protects; checking a signature is SignatureVerifier's.
CV_EXPORT int16_t CVStartUnprotect(CVHandle handle, int32_t, const char*) {
  return Guard([&] {
    return SessionTable::Instance().Find(handle) ? ToolkitStatus::kUnsupported : ToolkitStatus::kNotLoggedIn;
  });
}

CV_EXPORT int16_t CVEndUnprotect(CVHandle handle, CVBuffer* first, CVBuffer* second) {
  Fill(first, nullptr);
  Fill(second, nullptr);
  return CVStartUnprotect(handle, 0, nullptr);
}

CV_EXPORT int16_t CVASCIIencode(const CVBuffer* input, CVBuffer* output) {
  return Transcode(input, output, AsciiCoder::Encode);
}

CV_EXPORT int16_t CVASCIIdecode(const CVBuffer* input, CVBuffer* output) {
  return Transcode(input, output, AsciiCoder::Decode);
}

CV_EXPORT uint16_t CVRemoveWarning(int16_t* code) {
  if (code == nullptr) return static_cast<uint16_t>(ToolkitStatus::kBadArgument);
  return ToolkitStatus::RemoveWarning(*code);
}

static_assert(std::is_same_v<decltype(&CVLogin), CVLoginFunction>);
static_assert(std::is_same_v<decltype(&CVLogout), CVLogoutFunction>);
static_assert(std::is_same_v<decltype(&CVQueryCorLogWarning), CVQueryCorLogWarningFunction>);
static_assert(std::is_same_v<decltype(&CVCorLogToString), CVCorLogToStringFunction>);
static_assert(std::is_same_v<decltype(&CVStartProtect), CVStartProtectFunction>);
static_assert(std::is_same_v<decltype(&CVEndProtect), CVEndProtectFunction>);
static_assert(std::is_same_v<decltype(&CVProtect), CVProtectFunction>);
static_assert(std::is_same_v<decltype(&CVStartUnprotect), CVStartUnprotectFunction>);
static_assert(std::is_same_v<decltype(&CVEndUnprotect), CVEndUnprotectFunction>);
static_assert(std::is_same_v<decltype(&CVASCIIencode), CVASCIIencodeFunction>);
static_assert(std::is_same_v<decltype(&CVASCIIdecode), CVASCIIdecodeFunction>);
static_assert(std::is_same_v<decltype(&CVRemoveWarning), CVRemoveWarningFunction>);
