#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "session/Credential.h"
#include "session/CvsApi.h"
#include "session/HandleTable.h"
#include "session/InternalError.h"

namespace session {

// Helpers shared by the exported calls.
class ApiSupport {
 public:
  // Runs body(minor) with minor reset to 0 (a scratch value when the caller
  // passed none). No exception leaves the library: one that escapes body is
  // reported as an internal error.
  template <typename Body>
  static OM_uint32 Run(OM_uint32* minorStatus, Body body) {
    OM_uint32 scratch = 0;
    OM_uint32& minor = minorStatus != nullptr ? *minorStatus : scratch;
    minor = 0;
    try {
      return body(minor);
    } catch (...) {
      InternalError::Record("Out of memory");
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
  }

  // Copies bytes into a buffer the caller frees with gss_release_buffer.
  static bool FillBuffer(gss_buffer_t buffer, const void* bytes, size_t length);
  // Frees a filled buffer, wiping it first.
  static void ReleaseBuffer(gss_buffer_t buffer);
  // A view of a caller's buffer: false when it is absent or inconsistent.
  static bool ReadBuffer(const gss_buffer_t buffer, const uint8_t*& bytes, size_t& length);
  static bool SameOid(const gss_OID a, const gss_OID b);

  static HandleTable<Credential>& Credentials();
};

}  // namespace session
