#include "server/AdminCommand.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "server/AuthorityFolder.h"
#include "server/EnrollmentAdmin.h"
#include "server/PasswordInput.h"
#include "session/CertificateAuthority.h"
#include "session/DistinguishedName.h"
#include "session/ProfileStore.h"

namespace {

constexpr long kMaxDays = 36500;
constexpr long kDefaultAuthorityDays = 3650;
constexpr long kDefaultProfileDays = 365;
// Certificates start a little in the past so that a peer whose clock is
// slightly behind accepts them at once.
constexpr time_t kBackdate = 300;

const std::set<std::string> kFlags = {"--force", "--server", "--password-stdin"};
const std::set<std::string> kValued = {"--dir",   "--name", "--days",          "--ca",     "--password-file",
                                        "--out",   "--ref",  "--auth",          "--card",   "--temp-password",
                                        "--field2", "--field3", "--listen"};

int Fail(std::ostream& err, const std::string& message) {
  err << "velgrade-admin: " << message << "\n";
  return 1;
}

std::string FormatTime(const ASN1_TIME* time) {
  struct tm parts {};
  if (ASN1_TIME_to_tm(time, &parts) != 1) return "(unreadable)";
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

bool Has(const std::map<std::string, std::string>& options, const char* name) {
  return options.count(name) != 0;
}

}  // namespace

int AdminCommand::Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "help") {
    PrintUsage(arguments.empty() ? err : out);
    return arguments.empty() ? 2 : 0;
  }
  Options options;
  std::vector<std::string> positional;
  std::string error;
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (!ParseOptions(rest, options, positional, error)) {
    err << "velgrade-admin: " << error << "\n";
    PrintUsage(err);
    return 2;
  }
  const std::string& command = arguments[0];
  if (command == "create-ca" && positional.empty()) return CreateAuthority(options, out, err);
  if (command == "issue" && positional.empty()) return Issue(options, out, err);
  if (command == "register-enrollment" && positional.empty())
    return EnrollmentAdmin::RegisterEnrollment(options, out, err);
  if (command == "register-card" && positional.empty()) return EnrollmentAdmin::RegisterCard(options, out, err);
  if (command == "serve-enrollment" && positional.empty()) return EnrollmentAdmin::Serve(options, out, err);
  if (command == "show" && options.empty()) return Show(positional, out, err);
  err << "velgrade-admin: unknown command or stray arguments: " << command << "\n";
  PrintUsage(err);
  return 2;
}

bool AdminCommand::ParseOptions(const std::vector<std::string>& arguments, Options& options,
                                std::vector<std::string>& positional, std::string& error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.compare(0, 2, "--") != 0) {
      positional.push_back(argument);
      continue;
    }
    if (options.count(argument) != 0) {
      error = "option given twice: " + argument;
      return false;
    }
    if (kFlags.count(argument) != 0) {
      options[argument] = "";
    } else if (kValued.count(argument) != 0) {
      if (i + 1 >= arguments.size()) {
        error = "option needs a value: " + argument;
        return false;
      }
      options[argument] = arguments[++i];
    } else {
      error = "unknown option: " + argument;
      return false;
    }
  }
  return true;
}

bool AdminCommand::ParseDays(const Options& options, long fallback, long& days, std::string& error) {
  auto found = options.find("--days");
  if (found == options.end()) {
    days = fallback;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  days = std::strtol(found->second.c_str(), &end, 10);
  if (found->second.empty() || *end != 0 || errno != 0 || days < 1 || days > kMaxDays) {
    error = "--days must be a whole number from 1 to " + std::to_string(kMaxDays) + ": " + found->second;
    return false;
  }
  return true;
}

int AdminCommand::CreateAuthority(const Options& options, std::ostream& out, std::ostream& err) {
  if (!Has(options, "--dir") || !Has(options, "--name")) {
    err << "velgrade-admin: create-ca needs --dir and --name\n";
    return 2;
  }
  for (const char* unwanted : {"--ca", "--out", "--server", "--password-file", "--password-stdin"}) {
    if (Has(options, unwanted)) {
      err << "velgrade-admin: create-ca does not take " << unwanted << "\n";
      return 2;
    }
  }
  std::string error;
  long days = 0;
  if (!ParseDays(options, kDefaultAuthorityDays, days, error)) return Fail(err, error);
  session::X509NamePtr name = session::DistinguishedName::Parse(options.at("--name"));
  if (!name) return Fail(err, "not a distinguished name: " + options.at("--name"));
  if (!AuthorityFolder::Create(options.at("--dir"), name.get(), days, Has(options, "--force"), error))
    return Fail(err, error);
  out << "Created the authority " << session::DistinguishedName::Format(name.get()) << " in "
      << options.at("--dir") << ", valid for " << days << " days.\n";
  return 0;
}

int AdminCommand::Issue(const Options& options, std::ostream& out, std::ostream& err) {
  if (!Has(options, "--ca") || !Has(options, "--name") || !Has(options, "--out") ||
      Has(options, "--password-file") == Has(options, "--password-stdin")) {
    err << "velgrade-admin: issue needs --ca, --name, --out and one of --password-file or --password-stdin\n";
    return 2;
  }
  if (Has(options, "--dir")) {
    err << "velgrade-admin: issue does not take --dir (the authority is --ca)\n";
    return 2;
  }
  std::string error;
  long days = 0;
  if (!ParseDays(options, kDefaultProfileDays, days, error)) return Fail(err, error);
  session::X509NamePtr subject = session::DistinguishedName::Parse(options.at("--name"));
  if (!subject) return Fail(err, "not a distinguished name: " + options.at("--name"));
  const std::string& outPath = options.at("--out");
  bool replace = Has(options, "--force");
  struct stat existing {};
  if (!replace && ::stat(outPath.c_str(), &existing) == 0)
    return Fail(err, outPath + " exists (use --force to replace it)");
  session::EvpPkeyPtr authorityKey;
  session::X509Ptr authority;
  if (!AuthorityFolder::Load(options.at("--ca"), authorityKey, authority, error)) return Fail(err, error);

  std::string password;
  bool read = Has(options, "--password-file") ? PasswordInput::FromFile(options.at("--password-file"), password, error)
                                              : PasswordInput::FromStandardInput(password, error);
  if (!read) return Fail(err, error);

  time_t now = time(nullptr);
  session::EvpPkeyPtr key = session::CertificateAuthority::GenerateKey();
  auto role = Has(options, "--server") ? session::CertificateAuthority::Role::kServer
                                       : session::CertificateAuthority::Role::kUser;
  session::X509Ptr certificate =
      key ? session::CertificateAuthority::Issue(authorityKey.get(), authority.get(), subject.get(), key.get(),
                                                  role, now - kBackdate, now + days * 86400)
          : nullptr;
  session::Profile profile;
  bool made = certificate && session::Profile::Create(key.get(), certificate.get(), authority.get(), password.data(),
                                                      password.size(), session::KdfCost::Default(), profile);
  PasswordInput::Wipe(password);
  if (!made) return Fail(err, "cannot make the key, certificate or profile");
  if (session::ProfileStore::Save(outPath.c_str(), profile, replace) != session::ProfileStore::Result::kDone)
    return Fail(err, "cannot write " + outPath + (replace ? "" : " (it may exist: use --force to replace it)"));
  out << "Issued a " << (role == session::CertificateAuthority::Role::kServer ? "server" : "user")
      << " profile for " << session::DistinguishedName::Format(subject.get()) << " in " << outPath << ", valid until "
      << FormatTime(X509_get0_notAfter(certificate.get())) << ".\n";
  return 0;
}

int AdminCommand::Show(const std::vector<std::string>& positional, std::ostream& out, std::ostream& err) {
  if (positional.size() != 1) {
    err << "velgrade-admin: show needs exactly one profile file\n";
    return 2;
  }
  const std::string& path = positional[0];
  session::Profile profile;
  switch (session::ProfileStore::Load(path.c_str(), profile)) {
    case session::ProfileStore::Result::kDone:
      break;
    case session::ProfileStore::Result::kUnreadable:
      return Fail(err, "cannot read " + path);
    default:
      return Fail(err, path + " is not a profile or is damaged");
  }
  X509* certificate = profile.GetCertificate();
  out << "Name: " << session::DistinguishedName::Format(X509_get_subject_name(certificate)) << "\n"
      << "Kind: " << (profile.IsServer() ? "server" : "user") << "\n"
      << "Issuer: " << session::DistinguishedName::Format(X509_get_issuer_name(certificate)) << "\n"
      << "Valid from: " << FormatTime(X509_get0_notBefore(certificate)) << "\n"
      << "Valid until: " << FormatTime(X509_get0_notAfter(certificate)) << "\n"
      << "EncryptWith: " << profile.GetEncryptWith() << "\n";
  return 0;
}

void AdminCommand::PrintUsage(std::ostream& stream) {
  stream << "usage:\n"
            "  velgrade-admin create-ca --dir D --name \"o=Example\" [--days N] [--force]\n"
            "  velgrade-admin issue --ca D --name \"cn=Alice Smith,o=Example\"\n"
            "      (--password-file F | --password-stdin) --out alice.epf [--days N] [--server] [--force]\n"
            "  velgrade-admin show alice.epf\n"
            "  velgrade-admin register-enrollment --ca D --ref N --auth CODE --name DN\n"
            "  velgrade-admin register-card --ca D --card NUMBER --temp-password P [--field2 X] [--field3 Y]\n"
            "      --ref N --auth CODE --name DN\n"
            "  velgrade-admin serve-enrollment --ca D --listen 127.0.0.1:PORT\n";
}
