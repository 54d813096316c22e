#include "app/ConsoleEnrollment.h"

#include <unistd.h>

#include <cstring>
#include <vector>
#include <strings.h>

#include "app/ConsoleFrontEnd.h"
#include "credentials/CardText.h"
#include "credentials/EnrollmentManager.h"
#include "credentials/SignOnManager.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/ResourceStrings.h"

namespace {

constexpr char kSection[] = "Velgrade";
constexpr char kCorvaskSection[] = "Corvask Settings";
constexpr DWORD kValueSize = 1024;
constexpr DWORD kOperationSize = 30;

struct Switch {
  const char* prefix;
  GString ConsoleEnrollment::Values::*field;
  size_t limit;
};

const Switch kSwitches[] = {
    {"-referencenumber=", &ConsoleEnrollment::Values::referenceNumber, kValueSize - 1},
    {"-authorizationcode=", &ConsoleEnrollment::Values::authorizationCode, kValueSize - 1},
    {"-operation=", &ConsoleEnrollment::Values::operation, kOperationSize - 1},
    {"-initialbrowserurl=", &ConsoleEnrollment::Values::initialBrowserUrl, kValueSize - 1},
};

GString ReadKey(const char* file, const char* key, DWORD size) {
  char value[kValueSize] = {0};
  GetPrivateProfileStringA(kSection, key, "", value, size, file);
  return GString(value);
}

bool ReadAnswer(FILE* input, const char* prompt, bool secret, GString& line) {
  if (isatty(fileno(input))) std::fprintf(stderr, "%s: ", prompt);
  return secret ? ConsoleFrontEnd::ReadSecretLine(input, line) : ConsoleFrontEnd::ReadLine(input, line);
}

void PrintLine(const char* text, int kind) { std::fputs(ConsoleFrontEnd::FormatMessageLine(text, kind).Text(), stderr); }

// A string-table text whose inserts are written %1 and %2.
GString LoadWithInserts(UINT id, const GString& first, const GString& second) {
  GString format;
  if (!LoadResourceText(format, id)) return Velgrade::LoadMessage(id);
  GString out;
  for (int i = 0; i < static_cast<int>(format.Size()); ++i) {
    char c = format.GetAt(i);
    char next = i + 1 < static_cast<int>(format.Size()) ? format.GetAt(i + 1) : '\0';
    if (c == '%' && (next == '1' || next == '2')) {
      out += next == '1' ? first : second;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

GString FolderOf(const GString& path) {
  int slash = path.ReverseFind('/');
  return slash < 0 ? GString(".") : path.Left(slash);
}

// The profile and its companion files go before a profile is created over
// them, as the user agreed. False (after message 116) when one stays.
bool DeleteProfileFiles(const GString& path) {
  static const char* const kCompanions[] = {"crl", "cch", "erl", "pab", "rch"};
  std::vector<GString> files{path};
  int dot = path.ReverseFind('.');
  GString stem = dot > path.ReverseFind('/') ? path.Left(dot + 1) : path + ".";
  for (const char* extension : kCompanions) files.push_back(stem + extension);
  for (const GString& file : files) {
    if (_access(file.Text(), kAccessExists) != 0) continue;
    if (::unlink(file.Text()) != 0) {
      PrintLine(LoadWithInserts(116, file, GString()).Text(), kMessageError);
      return false;
    }
  }
  return true;
}

// Message 115 and the answer read from input; true when the old profile
// may go (and has gone).
bool ConfirmOverwrite(Velgrade& engine, const GString& path, FILE* input) {
  GString question = LoadWithInserts(115, SignOnManager::MakeShortName(path), FolderOf(engine.GetConfigFile()));
  PrintLine((question + " (yes/no)").Text(), kMessageWarning);
  GString answer;
  if (!ConsoleFrontEnd::ReadLine(input, answer)) return false;
  answer.Trim();
  if (strcasecmp(answer.Text(), "yes") != 0 && strcasecmp(answer.Text(), "y") != 0) return false;
  return DeleteProfileFiles(path);
}

}  // namespace

void ConsoleEnrollment::ReadValues(int argc, char** argv, Values& values, bool* used) {
  if (argc > 1 && argv[1][0] != '-' && _access(argv[1], kAccessRead) == 0) {
    used[1] = true;
    values.referenceNumber = ReadKey(argv[1], "referencenumber", kValueSize);
    values.authorizationCode = ReadKey(argv[1], "authorizationcode", kValueSize);
    values.operation = ReadKey(argv[1], "operation", kOperationSize);
    values.initialBrowserUrl = ReadKey(argv[1], "initialbrowserurl", kValueSize);
    for (int i = 2; i < argc; ++i)
      for (const Switch& option : kSwitches)
        if (std::strncmp(argv[i], option.prefix, std::strlen(option.prefix)) == 0) used[i] = true;
    return;
  }
  for (int i = 1; i < argc; ++i) {
    for (const Switch& option : kSwitches) {
      size_t length = std::strlen(option.prefix);
      if (std::strncmp(argv[i], option.prefix, length) != 0) continue;
      GString value(argv[i] + length);
      if (value.Size() > option.limit) value = value.Left(static_cast<int>(option.limit));
      values.*option.field = value;
      used[i] = true;
    }
  }
}

bool ConsoleEnrollment::Start(Velgrade& engine, const Values& values, FILE* input) {
  int newProfile = strcasecmp(values.operation.Text(), "recover") == 0 ? 0 : 1;
  GString path, password;
  if (!ReadAnswer(input, "Profile", false, path) || !ReadAnswer(input, "Password", true, password) || path.IsEmpty()) {
    password.Wipe();
    PrintLine("Enrollment needs a profile path and a password.", kMessageError);
    return false;
  }
  if (newProfile == 1 && _access(path.Text(), kAccessExists) == 0 && !ConfirmOverwrite(engine, path, input)) {
    password.Wipe();
    return false;
  }
  bool started = false;
  if (engine.IsFinancialEdition()) {
    GString card, temporary, field2, field3;
    if (ReadAnswer(input, "Card number", false, card) && ReadAnswer(input, "Temporary password", true, temporary)) {
      ReadAnswer(input, "Customer field 2", false, field2);
      ReadAnswer(input, "Customer field 3", false, field3);
      GString text = CardText::Compose(card, field2, field3);
      started = EnrollmentManager::SendRegistration(engine, temporary.Text(), text.Text(), password.Text(),
                                                    path.Text(), newProfile, OnCompletion, &engine);
      text.Wipe();
      if (!started) PrintLine(Velgrade::LoadMessage(118).Text(), kMessageError);
    }
    card.Wipe();
    temporary.Wipe();
  } else {
    started = EnrollmentManager::CreateUser(engine, values.referenceNumber.Text(), values.authorizationCode.Text(),
                                            password.Text(), path.Text(), newProfile, &engine, OnCompletion);
  }
  password.Wipe();
  if (started && (engine.GetSepByProxy() || engine.IsFinancialEdition())) PrintLine(Velgrade::LoadMessage(119).Text(), kMessageInformation);
  return started;
}

void ConsoleEnrollment::OnCompletion(int success, const char* text1, const char* text2, void* context) {
  auto* engine = static_cast<Velgrade*>(context);
  if (success) {
    PrintLine(Velgrade::LoadMessage(112).Text(), kMessageInformation);
    if (engine != nullptr) RememberProfile(engine->GetConfigFile().Text(), text1);
    return;
  }
  GString text = GString("Velgrade Registration Error: ") + (text1 != nullptr ? text1 : "") + "\n" +
                 (text2 != nullptr ? text2 : "");
  PrintLine(text.Text(), kMessageError);
}

void ConsoleEnrollment::RememberProfile(const char* file, const char* profile) {
  for (int digit = 3; digit >= 0; --digit) {
    GString from("LastProfile");
    if (digit != 0) from += static_cast<char>('0' + digit);
    GString to("LastProfile");
    to += static_cast<char>('1' + digit);
    char value[kValueSize] = {0};
    GetPrivateProfileStringA(kCorvaskSection, from.Text(), "", value, kValueSize, file);
    if (value[0] != 0) WritePrivateProfileStringA(kCorvaskSection, to.Text(), value, file);
  }
  WritePrivateProfileStringA(kCorvaskSection, "LastProfile", profile, file);
}
