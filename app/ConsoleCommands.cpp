#include "app/ConsoleCommands.h"

#include <cstring>
#include <unistd.h>

#include "app/ConsoleFrontEnd.h"
#include "credentials/SignOnManager.h"

namespace {

// The typed word without blanks around it, in lower case.
GString CommandWord(const char* line) {
  GString word(line != nullptr ? line : "");
  word.Trim();
  word.MakeLower();
  return word;
}

}  // namespace

ConsoleCommands::ConsoleCommands(Velgrade& engine, FILE* input, FILE* output)
    : engine_(engine), input_(input), output_(output) {}

ConsoleCommands::Outcome ConsoleCommands::Execute(const char* line) {
  GString word = CommandWord(line);
  if (word.IsEmpty()) return Outcome::kGoOn;
  if (word == "quit" || word == "exit") return Outcome::kQuit;
  if (word == "login") {
    LogIn();
  } else if (word == "logout") {
    LogOut();
  } else if (word == "passwd" || word == "password") {
    ChangePassword();
  } else if (word == "whoami" || word == "status") {
    ShowStatus();
  } else if (word == "help" || word == "?") {
    std::fputs(Help(), output_);
  } else {
    Print(GString("Unknown command ") + word + " (type help for the commands).");
  }
  std::fflush(output_);
  return Outcome::kGoOn;
}

const char* ConsoleCommands::Help() {
  return "Commands:\n"
         "  login           sign on with a profile and its password\n"
         "  logout          sign off\n"
         "  passwd          change the password of the signed-on profile\n"
         "  whoami, status  show who is signed on and until when\n"
         "  help            this list\n"
         "  quit, exit      end velgrade\n";
}

void ConsoleCommands::LogIn() {
  if (engine_.HasCredential()) {
    Print("Already signed on; log out first to change the profile.");
    return;
  }
  if (engine_.EnsureSignedOn()) {
    ShowStatus();
  } else {
    Print("Not signed on.");
  }
}

void ConsoleCommands::LogOut() {
  if (!engine_.HasCredential()) {
    Print("Not signed on.");
    return;
  }
  if (engine_.IsSingleLogin()) {
    engine_.ShowMessage(2156);
    return;
  }
  engine_.SignOff(0, nullptr);
  Print("Signed off.");
}

void ConsoleCommands::ChangePassword() {
  if (!engine_.HasCredential()) {
    engine_.ShowMessage(2049);
    return;
  }
  GString oldPassword;
  GString newPassword;
  GString repeated;
  bool entered = ReadSecret("Old password", oldPassword) && ReadSecret("New password", newPassword) &&
                 ReadSecret("New password again", repeated);
  if (!entered) {
    Print("Password not changed.");
  } else if (newPassword != repeated) {
    Print("The two new passwords differ; password not changed.");
  } else if (SignOnManager::ChangePassword(engine_, oldPassword.Text(), newPassword.Text())) {
    Print(Velgrade::LoadMessage(110));
  }
  oldPassword.Wipe();
  newPassword.Wipe();
  repeated.Wipe();
}

void ConsoleCommands::ShowStatus() {
  GString text;
  if (!SignOnManager::GetSignOnInfo(engine_, text, 1)) {
    Print("Not signed on.");
    return;
  }
  Print(text);
}

bool ConsoleCommands::ReadSecret(const char* prompt, GString& secret) {
  std::fprintf(stderr, "%s: ", prompt);
  if (isatty(fileno(input_))) return ConsoleFrontEnd::ReadSecretLine(input_, secret);
  return ConsoleFrontEnd::ReadLine(input_, secret);
}

// Writes text as lines of output, CR LF pairs becoming line feeds.
void ConsoleCommands::Print(const GString& text) {
  for (const char* c = text.Text(); *c != '\0'; ++c) {
    if (*c != '\r') std::fputc(*c, output_);
  }
  std::fputc('\n', output_);
}
