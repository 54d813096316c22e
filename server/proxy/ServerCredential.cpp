#include "server/proxy/ServerCredential.h"

#include <fstream>

#include <openssl/crypto.h>

#include "server/proxy/GssBuffer.h"
#include "server/proxy/ServerLog.h"
#include "session/CvsApi.h"

namespace vserver {

namespace {

constexpr size_t kMaxPasswordFile = 4096;

std::string StatusLines(OM_uint32 value, int type) {
  std::string text;
  OM_uint32 context = 0;
  for (int guard = 0; guard < 16; ++guard) {
    OM_uint32 minor = 0;
    GssBuffer line;
    if (gss_display_status(&minor, value, type, GSS_C_NO_OID, &context, line.Out()) != 0) break;
    if (!text.empty() && line.Size() != 0) text += "; ";
    text.append(line.View());
    if (context == 0) break;
  }
  return text;
}

}  // namespace

std::string GssStatusText(OM_uint32 major, OM_uint32 minor) {
  std::string text = StatusLines(major, GSS_C_GSS_CODE);
  if (minor != 0) {
    std::string detail = StatusLines(minor, GSS_C_MECH_CODE);
    if (!detail.empty()) text += (text.empty() ? "" : ": ") + detail;
  }
  if (text.empty()) text = "security failure (major " + std::to_string(major) + ")";
  return text;
}

ServerCredential::~ServerCredential() {
  OM_uint32 minor = 0;
  if (credential_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &credential_);
}

bool ServerCredential::SignOn(const std::string& profilePath, const std::string& password,
                              std::string& error) {
  OM_uint32 minor = 0;
  gss_buffer_desc pathBuffer{profilePath.size(), const_cast<char*>(profilePath.data())};
  gss_name_t name = GSS_C_NO_NAME;
  OM_uint32 major = gss_import_name(&minor, &pathBuffer, GSS_SPKM_NT_USER_NAME, &name);
  if (major != 0) {
    error = profilePath + ": " + GssStatusText(major, minor);
    return false;
  }
  gss_buffer_desc passwordBuffer{password.size(), const_cast<char*>(password.data())};
  major = cvs_acquire_cred(&minor, name, 0, GSS_C_NO_OID_SET, GSS_C_ACCEPT, &credential_,
                           &passwordBuffer);
  OM_uint32 ignored = 0;
  gss_release_name(&ignored, &name);
  if (GSS_ERROR(major) && credential_ != GSS_C_NO_CREDENTIAL &&
      minor == CVS_MINOR_DIRECTORY_UNREACHABLE) {
    // The profile opened; only the organisation's directory is out of reach.
    ServerLog::Write("Warning: %s", GssStatusText(major, minor).c_str());
    major = 0;
  }
  if (GSS_ERROR(major)) {
    error = "cannot sign on with the profile " + profilePath + ": " + GssStatusText(major, minor);
    if (credential_ != GSS_C_NO_CREDENTIAL) gss_release_cred(&ignored, &credential_);
    return false;
  }
  return ReadName(error);
}

bool ServerCredential::SignOnWithPasswordFile(const std::string& profilePath,
                                              const std::string& passwordFile, std::string& error) {
  std::ifstream in(passwordFile, std::ios::binary);
  if (!in) {
    error = passwordFile + ": cannot read the password file";
    return false;
  }
  std::string password(kMaxPasswordFile, '\0');
  in.read(password.data(), static_cast<std::streamsize>(password.size()));
  password.resize(static_cast<size_t>(in.gcount()));
  size_t end = password.find_first_of("\r\n");
  if (end != std::string::npos) {
    OPENSSL_cleanse(password.data() + end, password.size() - end);
    password.resize(end);
  }
  bool ok = !password.empty();
  if (!ok) error = passwordFile + ": the password file's first line is empty";
  if (ok) ok = SignOn(profilePath, password, error);
  OPENSSL_cleanse(password.data(), password.size());
  return ok;
}

bool ServerCredential::ReadName(std::string& error) {
  OM_uint32 minor = 0;
  gss_name_t name = GSS_C_NO_NAME;
  OM_uint32 major = gss_inquire_cred(&minor, credential_, &name, nullptr, nullptr, nullptr);
  if (major == 0) {
    GssBuffer text;
    major = gss_display_name(&minor, name, text.Out(), nullptr);
    if (major == 0) name_.assign(text.View());
    OM_uint32 ignored = 0;
    gss_release_name(&ignored, &name);
  }
  if (major != 0 || name_.empty()) {
    error = "cannot read the server's name from its credential: " + GssStatusText(major, minor);
    return false;
  }
  return true;
}

}  // namespace vserver
