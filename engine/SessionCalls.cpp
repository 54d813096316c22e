// The engine's calls into the session library (libcvsesn32).
#include "engine/Velgrade.h"
#include "session/CvsApi.h"
#include "session/GssApi.h"

namespace {

constexpr OM_uint32 kMajorFailure = 0x000D0000;
constexpr OM_uint32 kMinorInternalError = 14;
constexpr int kGssCode = 1;
constexpr int kMechanismCode = 2;

void AppendPiece(GString& text, const gss_buffer_desc& piece) {
  text.Append(static_cast<const char*>(piece.value), piece.length);
}

// Appends every line the library gives for one status code, each after a
// line feed when text is not empty.
void AppendCodeText(GString& text, OM_uint32 code, int type) {
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    gss_buffer_desc piece = GSS_C_EMPTY_BUFFER;
    OM_uint32 major = gss_display_status(&minor, code, type, GSS_C_NO_OID, &context, &piece);
    if (major != 0) {
      GString failure;
      failure.Format("Cannot display GSS-%s error 0x%lX", type == kGssCode ? "API" : "API mechanism",
                     static_cast<unsigned long>(code));
      text += failure;
      return;
    }
    if (!text.IsEmpty()) text += '\n';
    AppendPiece(text, piece);
    gss_release_buffer(&minor, &piece);
  } while (context != 0);
}

void AppendInternalError(GString& text) {
  GString detail;
  OM_uint32 context = 0;
  do {
    OM_uint32 minor = 0;
    gss_buffer_desc piece = GSS_C_EMPTY_BUFFER;
    if (cvs_display_internal_error(&minor, &context, &piece) != 0) break;
    detail += '\n';
    AppendPiece(detail, piece);
    gss_release_buffer(&minor, &piece);
  } while (context != 0);
  text += detail;
}

}  // namespace

GString Velgrade::GetGssStatusText(DWORD major, DWORD minor) {
  GString text;
  if (major != kMajorFailure || minor == 0) {
    AppendCodeText(text, major, kGssCode);
    if (minor != 0) AppendCodeText(text, minor, kMechanismCode);
  } else {
    AppendCodeText(text, minor, kMechanismCode);
  }
  if (minor == kMinorInternalError) AppendInternalError(text);
  return text;
}

void Velgrade::HandConfigurationToSession() {
  OM_uint32 minor = 0;
  // Sign-on hands the path over again and checks the result there.
  cvs_set_inifile(&minor, configFile_.Text());
}
