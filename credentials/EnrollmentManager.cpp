#include "credentials/EnrollmentManager.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <strings.h>
#include <vector>

#include "credentials/RegistrationData.h"
#include "credentials/SEPRegistrationData.h"
#include "credentials/SignOnManager.h"
#include "engine/HeaderFields.h"
#include "session/CvsApi.h"

namespace {

constexpr char kSepErrorType[] = "application/x-Corvask-SEP-Error";
constexpr char kRegistrationType[] = "application/x-Corvask-Registration";
// The authorization code is a secret: the log shows this in its place.
constexpr char kHiddenCode[] = "********";

// A buffer the library fills, released when it goes out of scope.
class OutputToken {
 public:
  OutputToken() = default;
  OutputToken(const OutputToken&) = delete;
  OutputToken& operator=(const OutputToken&) = delete;
  ~OutputToken() { Release(); }
  gss_buffer_t Out() { return &buffer_; }
  const gss_buffer_desc& Get() const { return buffer_; }
  OM_uint32 Release() {
    OM_uint32 minor = 0;
    if (buffer_.value == nullptr) return GSS_S_COMPLETE;
    return gss_release_buffer(&minor, &buffer_);
  }

 private:
  gss_buffer_desc buffer_ = GSS_C_EMPTY_BUFFER;
};

GString TextOf(const BinData& bytes) {
  return GString(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetLength());
}

}  // namespace

int EnrollmentManager::ParseReference(const char* text) {
  long value = std::strtol(text != nullptr ? text : "", nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool EnrollmentManager::FindReplyValue(const GString& body, const char* name, GString& value) {
  GString key = GString(name) + "=";
  int start = body.Find(key.Text());
  if (start < 0) return false;
  start += static_cast<int>(key.Size());
  int end = body.Find('&', start);
  value = end < 0 ? body.Mid(start) : body.Mid(start, end - start);
  return !value.IsEmpty();
}

void EnrollmentManager::LogCreation(Velgrade& engine, const char* profilePath, int reference, int newProfile) {
  engine.Log(kLogCredentials, "Creating Corvask profile <%s> with refNum=%ld, authCode=%s, newProfile=%d\n",
             profilePath, static_cast<long>(reference), kHiddenCode, newProfile);
}

bool EnrollmentManager::SetIniFile(Velgrade& engine, OM_uint32& major, OM_uint32& minor) {
  major = cvs_set_inifile(&minor, engine.GetConfigFile().Text());
  return major == GSS_S_COMPLETE;
}

void EnrollmentManager::ReportFailure(EnrollmentCompletion completion, void* context, const GString& message) {
  if (completion != nullptr) completion(0, kErrorTitle, message.Text(), context);
}

EnrollmentManager::RefusalStep EnrollmentManager::HandleRefusal(Velgrade& engine, OM_uint32 major,
                                                                OM_uint32 minor, const GString& profilePath,
                                                                int& refusals, GString& password) {
  engine.ShowMessage(2050, Velgrade::GetGssStatusText(major, minor).Text());
  ++refusals;
  ChoosePasswordCallback choose = engine.GetCallbacks().choosePassword;
  GString chosen;
  if (choose == nullptr || !choose(profilePath.Text(), chosen, engine.GetCallbackContext())) {
    chosen.Wipe();
    return RefusalStep::kCancelled;
  }
  if (refusals > kMaxRefusals) {
    chosen.Wipe();
    return RefusalStep::kExhausted;
  }
  password.Wipe();
  password = chosen;
  chosen.Wipe();
  return RefusalStep::kRetry;
}

bool EnrollmentManager::PostRequest(Velgrade& engine, const GString& command, const BinData& body,
                                    CompletionRoutine completion, void* record) {
  const TransactionFactory& factory = engine.GetTransactionFactory();
  if (factory.createInternal == nullptr || command.IsEmpty()) return false;
  Transaction* transaction = factory.createInternal(engine, command.Text(), body, completion, record, 1);
  if (transaction == nullptr) return false;
  engine.AddTransaction(transaction);
  return true;
}

bool EnrollmentManager::PostSepStep(Velgrade& engine, const void* token, size_t length,
                                    SEPRegistrationData* record) {
  BinData body(token, length);
  if (PostRequest(engine, engine.GetProfileCreationCommand(), body, OnSepReply, record)) return true;
  delete record;
  return false;
}

bool EnrollmentManager::CreateUser(Velgrade& engine, const char* referenceText, const char* authorizationCode,
                                   const char* password, const char* profilePath, int newProfile, void* context,
                                   EnrollmentCompletion completion) {
  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  if (!SetIniFile(engine, major, minor)) {
    ReportFailure(completion, context, Velgrade::GetGssStatusText(major, minor));
    return false;
  }
  int reference = ParseReference(referenceText);
  GString current(password != nullptr ? password : "");
  GString path(profilePath != nullptr ? profilePath : "");
  const char* code = authorizationCode != nullptr ? authorizationCode : "";
  int refusals = 0;
  for (;;) {
    LogCreation(engine, path.Text(), reference, newProfile);
    if (!engine.GetSepByProxy()) {
      GString copy = current;
      major = cvs_create_user(&minor, reference, code, copy.Text(), path.Text(), newProfile);
      copy.Wipe();
      if (major == GSS_S_COMPLETE) {
        if (completion != nullptr) completion(1, path.Text(), current.Text(), context);
        SignOnManager::SignOn(engine, path.Text(), current.Text());
        current.Wipe();
        return true;
      }
    } else {
      auto* record = new (std::nothrow)
          SEPRegistrationData(newProfile, current.Text(), path.Text(), code, engine, completion, reference, context);
      if (record == nullptr) {
        engine.ShowMessage(2054);
        current.Wipe();
        return false;
      }
      OutputToken output;
      major = cvs_init_proxy_create(&minor, reference, code, current.Text(), path.Text(), newProfile,
                                    &record->exchange, GSS_C_NO_BUFFER, output.Out());
      if (major == GSS_S_COMPLETE || major == GSS_S_CONTINUE_NEEDED) {
        current.Wipe();
        bool posted = PostSepStep(engine, output.Get().value, output.Get().length, record);
        OM_uint32 released = output.Release();
        if (released != GSS_S_COMPLETE) {
          engine.ShowMessage(2138, static_cast<unsigned long>(released), 0ul,
                             Velgrade::GetGssStatusText(released, 0).Text());
          return false;
        }
        // Without a posted step no answer would ever end the enrollment.
        if (!posted) engine.ShowMessage(118);
        return posted;
      }
      delete record;
    }
    if (minor == CVS_MINOR_PASSWORD_REFUSED) {
      RefusalStep step = HandleRefusal(engine, major, minor, path, refusals, current);
      if (step == RefusalStep::kRetry) continue;
      if (step == RefusalStep::kExhausted)
        engine.ShowMessage(2138, static_cast<unsigned long>(major), static_cast<unsigned long>(minor),
                           Velgrade::GetGssStatusText(major, minor).Text());
      current.Wipe();
      return false;
    }
    engine.ShowMessage(2138, static_cast<unsigned long>(major), static_cast<unsigned long>(minor),
                       Velgrade::GetGssStatusText(major, minor).Text());
    current.Wipe();
    return false;
  }
}

void EnrollmentManager::OnSepReply(const GString& head, const BinData& body, void* argument) {
  std::unique_ptr<SEPRegistrationData> record(static_cast<SEPRegistrationData*>(argument));
  if (!record) return;
  Velgrade& engine = record->engine;
  engine.Log(kLogCredentials, "Got SEP token.\n");
  if (body.IsEmpty()) {
    GString type;
    if (GetHeaderField(head, "Content-Type:", &type) && strcasecmp(type.Text(), kSepErrorType) == 0)
      ReportFailure(record->completion, record->context, Velgrade::LoadMessage(118));
    return;
  }
  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  if (!SetIniFile(engine, major, minor)) {
    ReportFailure(record->completion, record->context, Velgrade::GetGssStatusText(major, minor));
    return;
  }
  FinishSepStep(*record, body);
}

void EnrollmentManager::FinishSepStep(SEPRegistrationData& record, const BinData& body) {
  Velgrade& engine = record.engine;
  gss_buffer_desc input{body.GetLength(), const_cast<uint8_t*>(body.GetData())};
  int refusals = 0;
  for (;;) {
    LogCreation(engine, record.profilePath.Text(), record.reference, record.newProfile);
    OutputToken output;
    OM_uint32 minor = 0;
    OM_uint32 major = cvs_init_proxy_create(&minor, record.reference, record.authorizationCode.Text(),
                                            record.password.Text(), record.profilePath.Text(), record.newProfile,
                                            &record.exchange, &input, output.Out());
    if (major == GSS_S_COMPLETE) {
      OM_uint32 released = GSS_S_COMPLETE;
      if (record.exchange != 0) {
        OM_uint32 scratch = 0;
        released = cvs_release_proxy_create(&scratch, &record.exchange);
      }
      if (record.completion != nullptr)
        record.completion(1, record.profilePath.Text(), record.password.Text(), record.context);
      SignOnManager::SignOn(engine, record.profilePath.Text(), record.password.Text());
      if (released == GSS_S_COMPLETE && output.Get().length != 0) {
        auto* next = new (std::nothrow) SEPRegistrationData(
            record.newProfile, record.password.Text(), record.profilePath.Text(), record.authorizationCode.Text(),
            engine, record.completion, record.reference, record.context);
        if (next != nullptr) {
          next->exchange = record.exchange;
          record.exchange = 0;
          PostSepStep(engine, output.Get().value, output.Get().length, next);
        }
      }
      return;
    }
    if (minor == CVS_MINOR_PASSWORD_REFUSED) {
      RefusalStep step = HandleRefusal(engine, major, minor, record.profilePath, refusals, record.password);
      if (step == RefusalStep::kRetry) continue;
      if (step == RefusalStep::kExhausted)
        ReportFailure(record.completion, record.context,
                      Velgrade::LoadMessage(2064, static_cast<unsigned long>(major), static_cast<unsigned long>(minor),
                                            Velgrade::GetGssStatusText(major, minor).Text()));
      return;
    }
    ReportFailure(record.completion, record.context,
                  Velgrade::LoadMessage(2064, static_cast<unsigned long>(major), static_cast<unsigned long>(minor),
                                        Velgrade::GetGssStatusText(major, minor).Text()));
    return;
  }
}

bool EnrollmentManager::SendRegistration(Velgrade& engine, const char* temporaryPassword, const char* cardText,
                                         const char* password, const char* profilePath, int newProfile,
                                         EnrollmentCompletion completion, void* context) {
  GString temporary(temporaryPassword != nullptr ? temporaryPassword : "");
  GString card(cardText != nullptr ? cardText : "");
  std::unique_ptr<CliDecryptor> decryptor(new (std::nothrow) CliDecryptor(
      BinData(temporary.Text(), temporary.Size()), BinData(card.Text(), card.Size())));
  temporary.Wipe();
  card.Wipe();
  if (!decryptor) {
    engine.ShowMessage(2054);
    return false;
  }
  if (decryptor->Prepare() != 0) {
    engine.ShowMessage(2055);
    return false;
  }
  BinData identifier;
  decryptor->GetRegistrationIdentifier(identifier);
  auto* record = new (std::nothrow) RegistrationData(newProfile, password != nullptr ? password : "",
                                                     profilePath != nullptr ? profilePath : "",
                                                     std::move(decryptor), engine, completion, context);
  if (record == nullptr) {
    engine.ShowMessage(2054);
    return false;
  }
  const GString& command = engine.GetRegistrationCommand();
  int shown = command.Size() >= 2 ? static_cast<int>(command.Size()) - 2 : 0;
  engine.Log(kLogCredentials, "Sending user registration data using command <%.*s>\n", shown, command.Text());
  if (PostRequest(engine, command, identifier, OnRegistrationReply, record)) return true;
  delete record;
  return false;
}

void EnrollmentManager::OnRegistrationReply(const GString& head, const BinData& body, void* argument) {
  std::unique_ptr<RegistrationData> record(static_cast<RegistrationData*>(argument));
  if (!record) return;
  Velgrade& engine = record->engine;
  engine.Log(kLogCredentials, "Got registration reply.\n");
  int status = 0;
  std::vector<char> reason(head.Size() + 1, '\0');
  if (std::sscanf(head.Text(), "%*s %d %[^\r\n]s", &status, reason.data()) < 1) status = 0;
  GString type;
  if (status / 100 != 2 || !GetHeaderField(head, "Content-Type:", &type) ||
      strcasecmp(type.Text(), kRegistrationType) != 0) {
    if (record->completion != nullptr) record->completion(0, reason.data(), TextOf(body).Text(), record->context);
    return;
  }
  GString text = TextOf(body);
  GString encryptedCode, encryptedReference;
  if (!FindReplyValue(text, "auth", encryptedCode) || !FindReplyValue(text, "ref", encryptedReference)) {
    ReportFailure(record->completion, record->context, Velgrade::LoadMessage(2066));
    return;
  }
  BinData reference, code;
  if (record->decryptor->Decrypt(encryptedReference, reference) != kSkOk ||
      record->decryptor->Decrypt(encryptedCode, code) != kSkOk) {
    reference.Clear();
    code.Clear();
    ReportFailure(record->completion, record->context, Velgrade::LoadMessage(2065));
    return;
  }
  GString referenceText = TextOf(reference);
  GString codeText = TextOf(code);
  reference.Clear();
  code.Clear();
  if (engine.GetSepByProxy()) {
    if (!CreateUser(engine, referenceText.Text(), codeText.Text(), record->password.Text(),
                    record->profilePath.Text(), record->newProfile, record->context, record->completion))
      ReportFailure(record->completion, record->context, Velgrade::LoadMessage(118));
  } else {
    CreateDirectly(*record, referenceText, codeText);
  }
  codeText.Wipe();
  referenceText.Wipe();
}

void EnrollmentManager::CreateDirectly(RegistrationData& record, const GString& referenceText,
                                       const GString& authorizationCode) {
  Velgrade& engine = record.engine;
  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  if (!SetIniFile(engine, major, minor)) {
    ReportFailure(record.completion, record.context, Velgrade::GetGssStatusText(major, minor));
    return;
  }
  int reference = ParseReference(referenceText.Text());
  int refusals = 0;
  for (;;) {
    LogCreation(engine, record.profilePath.Text(), reference, record.newProfile);
    major = cvs_create_user(&minor, reference, authorizationCode.Text(), record.password.Text(),
                            record.profilePath.Text(), record.newProfile);
    if (major == GSS_S_COMPLETE) {
      if (record.completion != nullptr)
        record.completion(1, record.profilePath.Text(), record.password.Text(), record.context);
      SignOnManager::SignOn(engine, record.profilePath.Text(), record.password.Text());
      return;
    }
    if (minor == CVS_MINOR_PASSWORD_REFUSED) {
      RefusalStep step = HandleRefusal(engine, major, minor, record.profilePath, refusals, record.password);
      if (step == RefusalStep::kRetry) continue;
      if (step == RefusalStep::kCancelled) return;
    }
    ReportFailure(record.completion, record.context,
                  Velgrade::LoadMessage(2064, static_cast<unsigned long>(major), static_cast<unsigned long>(minor),
                                        Velgrade::GetGssStatusText(major, minor).Text()));
    return;
  }
}
