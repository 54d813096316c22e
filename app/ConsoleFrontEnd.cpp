#include "app/ConsoleFrontEnd.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "app/ConsoleCommands.h"
#include "credentials/SignOnManager.h"
#include "platform/Files.h"
#include "platform/WindowsFolder.h"
#include "secure/ProxyInfo.h"
#include "secure/SecurityContextTable.h"

namespace {

volatile sig_atomic_t g_stopRequested = 0;

// The longest a pass waits when nothing happens; a socket that becomes ready
// ends the wait at once, so this adds no latency. While commands are read,
// a typed line waits at most the shorter time.
constexpr int kIdleWaitMs = 1000;
constexpr int kCommandWaitMs = 50;

void OnStopSignal(int) { g_stopRequested = 1; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal ends the wait in select at once.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void PrintMessage(const char* text, void*, int kind) {
  GString line = ConsoleFrontEnd::FormatMessageLine(text, kind);
  std::fputs(line.Text(), stderr);
}

void PrintLogLine(const char* line, void*) { std::fputs(line, stderr); }

// Removes the line end; the characters cut off are overwritten first, as the
// line may be a password.
void StripLineEnd(GString& text) {
  int end = text.GetLength();
  while (end > 0 && (text.GetAt(end - 1) == '\n' || text.GetAt(end - 1) == '\r')) --end;
  GString kept = text.Left(end);
  text.Wipe();
  text = kept;
  kept.Wipe();
}

FILE* InputOf(void* context) { return context != nullptr ? static_cast<FILE*>(context) : stdin; }

bool PromptLogin(GString& profile, GString& password, void* context) {
  FILE* input = InputOf(context);
  if (!isatty(fileno(input))) return ConsoleFrontEnd::ReadLoginLines(input, profile, password);
  std::fputs("Profile: ", stderr);
  if (!ConsoleFrontEnd::ReadLine(input, profile)) return false;
  std::fputs("Password: ", stderr);
  return ConsoleFrontEnd::ReadSecretLine(input, password);
}

bool ChoosePassword(const char* prompt, GString& password, void* context) {
  FILE* input = InputOf(context);
  std::fprintf(stderr, "%s: ", prompt != nullptr ? prompt : "Password");
  if (!isatty(fileno(input))) return ConsoleFrontEnd::ReadLine(input, password);
  return ConsoleFrontEnd::ReadSecretLine(input, password);
}

// True when a line (or the end of input) is waiting on input. A terminal is
// read only while the program runs in its foreground: reading it from the
// background would stop the program.
bool IsInputWaiting(FILE* input) {
  int fd = fileno(input);
  if (isatty(fd) && tcgetpgrp(fd) != getpgrp()) return false;
  pollfd watched{fd, POLLIN, 0};
  return ::poll(&watched, 1, 0) > 0;
}

void ShowServerError(const GString& text, void*) {
  std::fprintf(stderr, "velgrade: error from secure server:\n%s\n", text.Text());
}

GString WithSlash(const GString& folder) {
  if (!folder.IsEmpty() && folder.GetAt(folder.GetLength() - 1) == '/') return folder;
  return folder + "/";
}

}  // namespace

bool ConsoleFrontEnd::ParseOptions(int argc, char** argv, Options& options, GString& error) {
  std::unique_ptr<bool[]> taken(new bool[static_cast<size_t>(argc) + 1]());
  ConsoleEnrollment::ReadValues(argc, argv, options.enrollment, taken.get());
  for (int i = 1; i < argc; ++i) {
    if (taken[static_cast<size_t>(i)]) continue;
    const char* option = argv[i];
    if (std::strcmp(option, "-d") == 0 || std::strcmp(option, "--debug") == 0) {
      options.debug = true;
    } else if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
      options.help = true;
    } else if (std::strcmp(option, "-l") == 0 || std::strcmp(option, "--login") == 0) {
      options.login = true;
    } else if (std::strcmp(option, "--commands") == 0) {
      options.commands = true;
    } else if (std::strncmp(option, "--confirm-signing=", 18) == 0) {
      if (!ConsoleSigning::ParseAnswer(option + 18, options.confirmSigning)) {
        error = GString("option --confirm-signing needs yes, no or ask");
        return false;
      }
    } else if (std::strcmp(option, "--chain-proxy-url") == 0) {
      if (i + 1 >= argc) {
        error = GString("option ") + option + " needs a URL";
        return false;
      }
      options.chainProxyUrl = argv[++i];
    } else if (std::strcmp(option, "-c") == 0 || std::strcmp(option, "--config-dir") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        error = GString("option ") + option + " needs a folder";
        return false;
      }
      options.configFolder = WithSlash(argv[++i]);
    } else {
      error = GString("unknown option ") + option;
      return false;
    }
  }
  return true;
}

GString ConsoleFrontEnd::ChooseConfigFolder(const Options& options) {
  if (!options.configFolder.IsEmpty()) return WithSlash(options.configFolder);
  GString programFolder = WithSlash(GetProgramFolder());
  if (_access((programFolder + "corvask.ini").Text(), kAccessRead) == 0) return programFolder;
  return WithSlash(GetWindowsDirectory());
}

GString ConsoleFrontEnd::FormatMessageLine(const char* text, int kind) {
  const char* label = kind == kMessageError ? "error" : kind == kMessageWarning ? "warning" : "information";
  GString line = GString("velgrade: ") + label + ": " + (text != nullptr ? text : "");
  if (line.IsEmpty() || line.GetAt(line.GetLength() - 1) != '\n') line += '\n';
  return line;
}

bool ConsoleFrontEnd::ReadLoginLines(FILE* input, GString& profile, GString& password) {
  return ReadLine(input, profile) && ReadLine(input, password);
}

bool ConsoleFrontEnd::ReadLine(FILE* input, GString& line) {
  line.Wipe();
  line.Empty();
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, input) != nullptr) {
    line += buffer;
    std::memset(buffer, 0, sizeof buffer);
    if (line.GetLength() > 0 && line.GetAt(line.GetLength() - 1) == '\n') break;
  }
  std::memset(buffer, 0, sizeof buffer);
  if (line.IsEmpty() && (std::feof(input) || std::ferror(input))) return false;
  StripLineEnd(line);
  return true;
}

bool ConsoleFrontEnd::ReadSecretLine(FILE* input, GString& line) {
  int fd = fileno(input);
  termios saved {};
  bool restore = tcgetattr(fd, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  bool ok = ReadLine(input, line);
  if (restore) {
    tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  return ok;
}

EngineCallbacks ConsoleFrontEnd::MakeCallbacks(bool debug) {
  EngineCallbacks callbacks;
  callbacks.message = PrintMessage;
  callbacks.log = debug ? PrintLogLine : nullptr;
  callbacks.loginPrompt = PromptLogin;
  callbacks.choosePassword = ChoosePassword;
  callbacks.serverError = ShowServerError;
  callbacks.confirmSubmit = ConsoleSigning::Confirm;
  return callbacks;
}

int ConsoleFrontEnd::Run(const Options& options) {
  bool debug = options.debug || std::getenv("VELGRADE_DEBUG") != nullptr;
  GString folder = ChooseConfigFolder(options);
  InstallStopHandlers();
  ConsoleSigning::SetAnswer(options.confirmSigning);
  bool commands = options.commands || isatty(fileno(stdin));
  // Unbuffered: a waiting line is seen by poll instead of being kept back in
  // the stream's buffer, and typed passwords leave no copy there.
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  int status = 0;
  {
    Velgrade engine(folder.Text(), MakeCallbacks(debug), nullptr);
    engine.SetTransactionFactory(ProxyInfo::GetFactory());
    SecurityContextTable::Install(engine);
    SignOnManager::Install(engine);
    if (!engine.Start()) return 1;
    if (!options.chainProxyUrl.IsEmpty()) engine.FetchChainProxyFrom(options.chainProxyUrl.Text());
    std::fprintf(stderr, "velgrade: listening on 127.0.0.1:%u (configuration %scorvask.ini, this machine %s)\n",
                 engine.GetListenPort(), folder.Text(), engine.GetOwnAddress().Text());
    ConsoleCommands typed(engine, stdin, stdout);
    if (!options.enrollment.operation.IsEmpty()) ConsoleEnrollment::Start(engine, options.enrollment, stdin);
    if (options.login) typed.Execute("login");
    if (commands && isatty(fileno(stdin))) std::fputs("velgrade: type help for the commands.\n", stderr);
    while (!g_stopRequested) {
      int stop = 0;
      if (!engine.PollFor(commands ? kCommandWaitMs : kIdleWaitMs, &stop)) {
        if (stop) PrintMessage(Velgrade::LoadMessage(149).Text(), nullptr, kMessageError);
        status = 1;
        break;
      }
      if (!commands || !IsInputWaiting(stdin)) continue;
      GString line;
      if (!ReadLine(stdin, line)) {
        // The end of input ends the commands, not the proxy.
        commands = false;
      } else if (typed.Execute(line.Text()) == ConsoleCommands::Outcome::kQuit) {
        break;
      }
    }
  }
  return status;
}

const char* ConsoleFrontEnd::Usage() {
  return "usage: velgrade [-c|--config-dir FOLDER] [-l|--login] [--commands] [--chain-proxy-url URL]\n"
         "                [--confirm-signing=yes|no|ask] [-d|--debug]\n"
         "Runs the Velgrade proxy on 127.0.0.1 at the port of corvask.ini (default 8080).\n"
         "  -c, --config-dir FOLDER  read corvask.ini from FOLDER\n"
         "  -l, --login              sign on at start (profile and password are asked for;\n"
         "                           without a terminal they are the next two input lines)\n"
         "  --commands               read commands from standard input even when it is not\n"
         "                           a terminal (on a terminal they are always read):\n"
         "                           login, logout, passwd, whoami, status, help, quit\n"
         "  --chain-proxy-url URL    take the upstream proxy from the marker in the page at\n"
         "                           URL (needs FetchChainProxy=1 in corvask.ini)\n"
         "  --confirm-signing=ANSWER submit signed forms (yes), refuse them (no) or ask\n"
         "                           each time (ask, the default; without a terminal the\n"
         "                           answer is the next input line)\n"
         "  -d, --debug              write the engine's log lines to standard error\n"
         "  -operation=create|recover -referencenumber=N -authorizationcode=CODE\n"
         "                           enroll at start (or name a parameter file with section\n"
         "                           [Velgrade] as the first word); the profile path and\n"
         "                           password (financial edition: then card number,\n"
         "                           temporary password, customer fields 2 and 3) are read\n"
         "                           as lines from standard input\n"
         "                           (also when VELGRADE_DEBUG is set)\n";
}
