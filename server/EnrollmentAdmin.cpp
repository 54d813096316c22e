#include "server/EnrollmentAdmin.h"

#include <openssl/crypto.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/BinData.h"
#include "common/GString.h"
#include "credentials/CardText.h"
#include "credentials/CliDecryptor.h"
#include "server/EnrollmentListener.h"
#include "server/EnrollmentService.h"
#include "server/EnrollmentStore.h"
#include "session/DistinguishedName.h"
#include "session/EnrollmentMessage.h"

namespace {

int Fail(std::ostream& err, const std::string& message) {
  err << "velgrade-admin: " << message << "\n";
  return 1;
}

bool HasAll(const EnrollmentAdmin::Options& options, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (options.count(name) == 0 || options.at(name).empty()) return false;
  return true;
}

std::string Value(const EnrollmentAdmin::Options& options, const char* name) {
  auto found = options.find(name);
  return found == options.end() ? std::string() : found->second;
}

BinData BytesOf(const std::string& text) { return BinData(text.data(), text.size()); }

std::string TextOf(const GString& text) { return std::string(text.Text(), text.Size()); }

}  // namespace

bool EnrollmentAdmin::ParseReference(const std::string& text, int32_t& reference) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  errno = 0;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || value > INT32_MAX) return false;
  reference = static_cast<int32_t>(value);
  return true;
}

int EnrollmentAdmin::AddEnrollment(const Options& options, int32_t reference, std::ostream& err) {
  const std::string name = options.at("--name");
  if (!session::DistinguishedName::Parse(name)) return Fail(err, "not a distinguished name: " + name);
  std::string macKey = session::EnrollmentMessage::DeriveMacKey(reference, options.at("--auth"));
  EnrollmentStore::Result added = EnrollmentStore(options.at("--ca")).AddEnrollment(reference, macKey, name);
  OPENSSL_cleanse(macKey.data(), macKey.size());
  if (added == EnrollmentStore::Result::kExists)
    return Fail(err, "reference number " + std::to_string(reference) + " is already registered");
  if (added != EnrollmentStore::Result::kDone) return Fail(err, "cannot write the enrollment store");
  return 0;
}

int EnrollmentAdmin::RegisterEnrollment(const Options& options, std::ostream& out, std::ostream& err) {
  if (!HasAll(options, {"--ca", "--ref", "--auth", "--name"})) {
    err << "velgrade-admin: register-enrollment needs --ca, --ref, --auth and --name\n";
    return 2;
  }
  int32_t reference = 0;
  if (!ParseReference(options.at("--ref"), reference)) return Fail(err, "not a reference number: " + options.at("--ref"));
  int status = AddEnrollment(options, reference, err);
  if (status == 0) out << "Registered enrollment " << reference << "\n";
  return status;
}

int EnrollmentAdmin::RegisterCard(const Options& options, std::ostream& out, std::ostream& err) {
  if (!HasAll(options, {"--ca", "--card", "--temp-password", "--ref", "--auth", "--name"})) {
    err << "velgrade-admin: register-card needs --ca, --card, --temp-password, --ref, --auth and --name\n";
    return 2;
  }
  int32_t reference = 0;
  if (!ParseReference(options.at("--ref"), reference)) return Fail(err, "not a reference number: " + options.at("--ref"));
  GString card = CardText::Compose(options.at("--card").c_str(), Value(options, "--field2").c_str(),
                                   Value(options, "--field3").c_str());
  CliDecryptor keys(BytesOf(options.at("--temp-password")), BinData(card.Text(), card.Size()));
  card.Wipe();
  if (keys.Prepare() != 0) return Fail(err, "cannot derive the card holder's key");
  BinData identifier;
  keys.GetRegistrationIdentifier(identifier);
  GString encryptedReference, encryptedCode;
  if (keys.Encrypt(BytesOf(options.at("--ref")), encryptedReference) != kSkOk ||
      keys.Encrypt(BytesOf(options.at("--auth")), encryptedCode) != kSkOk)
    return Fail(err, "cannot encrypt the card holder's values");
  std::string identifierText(reinterpret_cast<const char*>(identifier.GetData()), identifier.GetLength());
  EnrollmentStore::Result added = EnrollmentStore(options.at("--ca"))
                                      .AddCardHolder(identifierText, TextOf(encryptedReference), TextOf(encryptedCode));
  if (added == EnrollmentStore::Result::kExists) return Fail(err, "this card holder is already registered");
  if (added != EnrollmentStore::Result::kDone) return Fail(err, "cannot write the enrollment store");
  int status = AddEnrollment(options, reference, err);
  if (status == 0) out << "Registered card holder " << identifierText << " for enrollment " << reference << "\n";
  return status;
}

int EnrollmentAdmin::Serve(const Options& options, std::ostream& out, std::ostream& err) {
  if (!HasAll(options, {"--ca", "--listen"})) {
    err << "velgrade-admin: serve-enrollment needs --ca and --listen\n";
    return 2;
  }
  EnrollmentService service;
  std::string error;
  if (!service.Open(options.at("--ca"), error)) return Fail(err, error);
  EnrollmentListener listener(service);
  if (!listener.Listen(options.at("--listen"), out, error)) return Fail(err, error);
  listener.Serve(err);
  return 0;
}
