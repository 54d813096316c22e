#include "credentials/SignOnManager.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

#include "common/Base64.h"
#include "credentials/ToolkitLoader.h"
#include "engine/ProfileLong.h"
#include "platform/ResourceStrings.h"
#include "session/CvsApi.h"
#include "session/GssApi.h"

namespace {

constexpr OM_uint32 kMajorFailure = 0x000D0000;
constexpr char kCorvaskSection[] = "Corvask Settings";
// String-table entry telling whether an unreachable directory still lets the
// user sign on ("1") or not ("0").
constexpr UINT kDirectoryOptionalEntry = 2127;

// A GSS name released when it goes out of scope.
class GssName {
 public:
  GssName() = default;
  GssName(const GssName&) = delete;
  GssName& operator=(const GssName&) = delete;
  ~GssName() {
    OM_uint32 minor = 0;
    if (name_ != GSS_C_NO_NAME) gss_release_name(&minor, &name_);
  }
  gss_name_t* Out() { return &name_; }
  gss_name_t Get() const { return name_; }

 private:
  gss_name_t name_ = GSS_C_NO_NAME;
};

// A buffer the library fills, released when it goes out of scope.
class GssBuffer {
 public:
  GssBuffer() = default;
  GssBuffer(const GssBuffer&) = delete;
  GssBuffer& operator=(const GssBuffer&) = delete;
  ~GssBuffer() {
    OM_uint32 minor = 0;
    if (buffer_.value != nullptr) gss_release_buffer(&minor, &buffer_);
  }
  gss_buffer_t Out() { return &buffer_; }
  GString Text() const { return GString(static_cast<const char*>(buffer_.value), buffer_.length); }

 private:
  gss_buffer_desc buffer_ = GSS_C_EMPTY_BUFFER;
};

// A copy of a secret, overwritten with '0' before its memory goes.
class SecretCopy {
 public:
  explicit SecretCopy(const char* text) : text_(text != nullptr ? text : "") {}
  SecretCopy(const SecretCopy&) = delete;
  SecretCopy& operator=(const SecretCopy&) = delete;
  ~SecretCopy() { text_.Wipe(); }
  const GString& Text() const { return text_; }
  // A buffer over the copy for the library; valid while the copy lives.
  gss_buffer_desc Buffer() const {
    return gss_buffer_desc{text_.Size(), const_cast<char*>(text_.Text())};
  }

 private:
  GString text_;
};

bool IsDirectoryOptional() {
  GString entry;
  return LoadResourceText(entry, kDirectoryOptionalEntry) && std::atoi(entry.Text()) == 1;
}

void ReleaseCredential(gss_cred_id_t& credential) {
  OM_uint32 minor = 0;
  if (credential != GSS_C_NO_CREDENTIAL) gss_release_cred(&minor, &credential);
  credential = GSS_C_NO_CREDENTIAL;
}

}  // namespace

void SignOnManager::Install(Velgrade& engine) {
  CredentialHooks hooks;
  hooks.ensureSignedOn = [](Velgrade& target) { return EnsureSignedOn(target); };
  engine.SetCredentialHooks(hooks);
}

bool SignOnManager::SignOn(Velgrade& engine, const char* profile, const char* password) {
  if (engine.HasCredential()) return true;
  GString profileText(profile != nullptr ? profile : "");
  SecretCopy secret(password);
  engine.Log(kLogCredentials, "Signing on to Corvask with INI=\"%s\" and EPF=\"%s\"...\n",
             engine.GetConfigFile().Text(), profileText.Text());
  OM_uint32 minor = 0;
  if (cvs_set_inifile(&minor, engine.GetConfigFile().Text()) != GSS_S_COMPLETE) {
    engine.ShowMessage(2057);
    return false;
  }
  if (!AcquireCredential(engine, profileText, secret.Text())) return false;
  engine.Log(kLogCredentials, "Successfully signed on to Corvask.\n");
  engine.SetWrongPasswordCount(0);
  RememberNames(engine, profileText);
  ReadDistinguishedName(engine);
  if (ToolkitLoader::Load(engine.GetCredentialState()) &&
      !LogInToToolkit(engine, profileText, secret.Text())) {
    return false;
  }
  engine.SetLastActivity(time(nullptr));
  return true;
}

bool SignOnManager::AcquireCredential(Velgrade& engine, const GString& profile,
                                      const GString& password) {
  OM_uint32 minor = 0;
  GssName name;
  gss_buffer_desc nameBuffer{profile.Size(), const_cast<char*>(profile.Text())};
  // A name that cannot be imported stays empty; the library then refuses the
  // credential and the failure is reported below.
  gss_import_name(&minor, &nameBuffer, GSS_SPKM_NT_USER_NAME, name.Out());
  gss_cred_id_t credential = GSS_C_NO_CREDENTIAL;
  OM_uint32 major = GSS_S_COMPLETE;
  {
    SecretCopy copy(password.Text());
    gss_buffer_desc secret = copy.Buffer();
    major = cvs_acquire_cred(&minor, name.Get(), 0, GSS_C_NO_OID_SET, GSS_C_INITIATE, &credential,
                             copy.Text().IsEmpty() ? GSS_C_NO_BUFFER : &secret);
  }
  CredentialState& state = engine.GetCredentialState();
  if (major == GSS_S_COMPLETE && credential != GSS_C_NO_CREDENTIAL) {
    state.credential = credential;
    return true;
  }
  if (major == kMajorFailure && minor == CVS_MINOR_DIRECTORY_UNREACHABLE &&
      credential != GSS_C_NO_CREDENTIAL && AcceptUnreachableDirectory(engine, profile)) {
    if (!profile.IsEmpty()) engine.ShowMessage(2058, Velgrade::GetGssStatusText(major, minor).Text());
    state.credential = credential;
    return true;
  }
  // The library may hand out a credential along with a failure; it is not used.
  ReleaseCredential(credential);
  if (profile.IsEmpty()) return false;
  state.credential = GSS_C_NO_CREDENTIAL;
  engine.SetLastActivity(0);
  GString text;
  if (major == kMajorFailure && minor == CVS_MINOR_WRONG_PASSWORD) {
    text = Velgrade::LoadMessage(2067);
    engine.SetWrongPasswordCount(engine.GetWrongPasswordCount() + 1);
  } else if (minor == CVS_MINOR_DIRECTORY_UNREACHABLE) {
    text = Velgrade::LoadMessage(2135);
  } else {
    text = Velgrade::GetGssStatusText(major, minor);
    engine.SetWrongPasswordCount(0);
  }
  engine.ShowMessage(2058, text.Text());
  return false;
}

bool SignOnManager::AcceptUnreachableDirectory(Velgrade& engine, const GString& profile) {
  return IsDirectoryOptional() || engine.GetSepByProxy() != 0 || profile.IsEmpty();
}

void SignOnManager::RememberNames(Velgrade& engine, const GString& profile) {
  CredentialState& state = engine.GetCredentialState();
  GString name = profile;
  OM_uint32 minor = 0;
  if (profile.IsEmpty()) {
    GssBuffer reported;
    if (cvs_query_profile_name(&minor, state.credential, reported.Out()) == GSS_S_COMPLETE) {
      name = reported.Text();
    }
  }
  {
    CriticalSectionLock guard(state.lock);
    state.profileName = name;
    state.shortName = MakeShortName(name);
  }
  int changed = 0;
  if (!profile.IsEmpty() && cvs_profile_changed(&minor, state.credential, &changed) == GSS_S_COMPLETE &&
      changed != 0) {
    engine.ShowMessage(2155, name.Text());
  }
}

void SignOnManager::ReadDistinguishedName(Velgrade& engine) {
  CredentialState& state = engine.GetCredentialState();
  CriticalSectionLock guard(state.lock);
  OM_uint32 minor = 0;
  GssName name;
  GssBuffer text;
  if (gss_inquire_cred(&minor, state.credential, name.Out(), nullptr, nullptr, nullptr) ==
          GSS_S_COMPLETE &&
      gss_display_name(&minor, name.Get(), text.Out(), nullptr) == GSS_S_COMPLETE) {
    state.distinguishedName = text.Text();
  } else {
    state.distinguishedName.Empty();
  }
  state.distinguishedNameBase64 =
      Base64Encode(state.distinguishedName.Text(), state.distinguishedName.Size());
}

bool SignOnManager::LogInToToolkit(Velgrade& engine, const GString& profile, const GString& password) {
  CredentialState& state = engine.GetCredentialState();
  const ToolkitEntryPoints& calls = state.toolkit;
  CVHandle handle = 0;
  SecretCopy copy(password.Text());
  int16_t code = calls.login(&handle, profile.Text(), copy.Text().Text(), engine.GetConfigFile().Text());
  state.toolkitHandle = handle;
  if (code == 0) return true;
  int16_t remaining = code;
  const char* reason = calls.corLogToString(code);
  GString text(reason != nullptr ? reason : "");
  if (calls.removeWarning(&remaining) == kCVDirectoryUnreachable &&
      AcceptUnreachableDirectory(engine, profile)) {
    if (!profile.IsEmpty()) engine.ShowMessage(2058, text.Text());
    return true;
  }
  if (calls.queryCorLogWarning(code) != 0) {
    engine.ShowMessage(2058, text.Text());
    return true;
  }
  if (!profile.IsEmpty() && !password.IsEmpty()) engine.ShowMessage(2058, text.Text());
  engine.SignOff(0, nullptr);
  return false;
}

bool SignOnManager::EnsureSignedOn(Velgrade& engine) {
  if (engine.HasCredential()) return true;
  LoginPromptCallback prompt = engine.GetCallbacks().loginPrompt;
  if (prompt == nullptr) return false;
  if (engine.IsSingleLogin()) return SignOn(engine, "", "");
  for (;;) {
    GString profile;
    GString password;
    if (!prompt(profile, password, engine.GetCallbackContext())) {
      password.Wipe();
      engine.SetWrongPasswordCount(0);
      return false;
    }
    bool signedOn = SignOn(engine, profile.Text(), password.Text());
    password.Wipe();
    if (signedOn) return true;
    int count = engine.GetWrongPasswordCount();
    if (count != 1 && count != 2) return false;
  }
}

bool SignOnManager::ChangePassword(Velgrade& engine, const char* oldPassword, const char* newPassword) {
  if (!engine.HasCredential()) {
    engine.ShowMessage(2049);
    return false;
  }
  if (engine.IsSingleLogin()) {
    engine.ShowMessage(2154);
    return false;
  }
  OM_uint32 minor = 0;
  OM_uint32 major = GSS_S_COMPLETE;
  {
    SecretCopy oldCopy(oldPassword);
    SecretCopy newCopy(newPassword);
    gss_buffer_desc oldBuffer = oldCopy.Buffer();
    gss_buffer_desc newBuffer = newCopy.Buffer();
    major = cvs_change_password(&minor, engine.GetCredentialState().credential, &oldBuffer, &newBuffer);
  }
  if (major != GSS_S_COMPLETE) {
    engine.ShowMessage(2050, Velgrade::GetGssStatusText(major, minor).Text());
    return false;
  }
  engine.SetLastActivity(time(nullptr));
  return true;
}

bool SignOnManager::GetSignOnInfo(Velgrade& engine, GString& text, int detailed) {
  if (!engine.HasCredential()) return false;
  CredentialState& state = engine.GetCredentialState();
  if (!detailed) {
    CriticalSectionLock guard(state.lock);
    text = state.shortName;
    if (!text.IsEmpty()) {
      text.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(text.GetAt(0)))));
    }
    return true;
  }
  OM_uint32 minor = 0;
  GssName name;
  GssBuffer shown;
  OM_uint32 lifetime = 0;
  OM_uint32 major = gss_inquire_cred(&minor, state.credential, name.Out(), &lifetime, nullptr, nullptr);
  if (major == GSS_S_COMPLETE) major = gss_display_name(&minor, name.Get(), shown.Out(), nullptr);
  if (major != GSS_S_COMPLETE) {
    text = Velgrade::GetGssStatusText(major, minor);
    return true;
  }
  time_t until = time(nullptr) + static_cast<time_t>(lifetime);
  char rendered[32] = "";
  struct tm local {};
  // The 24 characters of the classic local-time rendering: "Wed Jun  3 21:49:08 1998".
  if (localtime_r(&until, &local) == nullptr ||
      std::strftime(rendered, sizeof rendered, "%a %b %e %H:%M:%S %Y", &local) == 0) {
    rendered[0] = '\0';
  }
  GString dn = shown.Text();
  text.Format("Signed on as <%.*s>\r\nCredentials valid until %.24s", dn.GetLength(), dn.Text(), rendered);
  return true;
}

bool SignOnManager::IsTokenConfigured(Velgrade& engine) {
  OM_uint32 minor = 0;
  const char* file = engine.GetConfigFile().Text();
  if (cvs_set_inifile(&minor, file) != GSS_S_COMPLETE) return false;
  static const char* const kKeys[] = {"CryptokiLibraryNT", "CryptokiLibrary95", "CryptokiLibrary16"};
  char value[1024];
  for (const char* key : kKeys) {
    if (GetProfileStringLong(kCorvaskSection, key, "", value, sizeof value, file) && value[0] != '\0') {
      return true;
    }
  }
  return false;
}

bool SignOnManager::IsTokenRemoved(int& removed) {
  OM_uint32 minor = 0;
  removed = 1;
  return cvs_token_removed(&minor, GSS_C_NO_CREDENTIAL, &removed) == GSS_S_COMPLETE;
}

bool SignOnManager::GetNumTokenProfiles(int& count) {
  OM_uint32 minor = 0;
  count = 0;
  return cvs_get_num_token_profiles(&minor, &count) == GSS_S_COMPLETE;
}

bool SignOnManager::GetTokenProfileName(int index, GString& name) {
  OM_uint32 minor = 0;
  GssBuffer reported;
  if (cvs_get_token_profile_name(&minor, index, reported.Out()) != GSS_S_COMPLETE) return false;
  name = reported.Text();
  return true;
}

GString SignOnManager::MakeShortName(const GString& profile) {
  int slash = profile.ReverseFind('/');
  int backslash = profile.ReverseFind('\\');
  GString title = profile.Mid((slash > backslash ? slash : backslash) + 1);
  int dot = title.ReverseFind('.');
  return dot >= 0 ? title.Left(dot) : title;
}
