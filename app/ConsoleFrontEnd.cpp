#include "app/ConsoleFrontEnd.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <termios.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/WindowsFolder.h"
#include "secure/ProxyInfo.h"

namespace {

volatile sig_atomic_t g_stopRequested = 0;

// The longest a pass waits when nothing happens; a socket that becomes ready
// ends the wait at once, so this adds no latency.
constexpr int kIdleWaitMs = 1000;

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

void StripLineEnd(GString& text) {
  int end = text.GetLength();
  while (end > 0 && (text.GetAt(end - 1) == '\n' || text.GetAt(end - 1) == '\r')) --end;
  text = text.Left(end);
}

bool ReadLine(FILE* input, GString& line) {
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

// Reads the password from the terminal with echo turned off.
bool ReadHiddenLine(FILE* input, GString& line) {
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

bool PromptLogin(GString& profile, GString& password, void*) {
  if (!isatty(fileno(stdin))) return ConsoleFrontEnd::ReadLoginLines(stdin, profile, password);
  std::fputs("Profile: ", stderr);
  if (!ReadLine(stdin, profile)) return false;
  std::fputs("Password: ", stderr);
  return ReadHiddenLine(stdin, password);
}

bool ChoosePassword(const char* prompt, GString& password, void*) {
  std::fprintf(stderr, "%s: ", prompt != nullptr ? prompt : "Password");
  if (!isatty(fileno(stdin))) return ReadLine(stdin, password);
  return ReadHiddenLine(stdin, password);
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
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (std::strcmp(option, "-d") == 0 || std::strcmp(option, "--debug") == 0) {
      options.debug = true;
    } else if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
      options.help = true;
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

EngineCallbacks ConsoleFrontEnd::MakeCallbacks(bool debug) {
  EngineCallbacks callbacks;
  callbacks.message = PrintMessage;
  callbacks.log = debug ? PrintLogLine : nullptr;
  callbacks.loginPrompt = PromptLogin;
  callbacks.choosePassword = ChoosePassword;
  callbacks.serverError = ShowServerError;
  return callbacks;
}

int ConsoleFrontEnd::Run(const Options& options) {
  bool debug = options.debug || std::getenv("VELGRADE_DEBUG") != nullptr;
  GString folder = ChooseConfigFolder(options);
  InstallStopHandlers();
  int status = 0;
  {
    Velgrade engine(folder.Text(), MakeCallbacks(debug), nullptr);
    engine.SetTransactionFactory(ProxyInfo::GetFactory());
    if (!engine.Start()) return 1;
    if (!options.chainProxyUrl.IsEmpty()) engine.FetchChainProxyFrom(options.chainProxyUrl.Text());
    std::fprintf(stderr, "velgrade: listening on 127.0.0.1:%u (configuration %scorvask.ini, this machine %s)\n",
                 engine.GetListenPort(), folder.Text(), engine.GetOwnAddress().Text());
    while (!g_stopRequested) {
      int stop = 0;
      if (!engine.PollFor(kIdleWaitMs, &stop)) {
        status = 1;
        break;
      }
    }
  }
  return status;
}

const char* ConsoleFrontEnd::Usage() {
  return "usage: velgrade [-c|--config-dir FOLDER] [--chain-proxy-url URL] [-d|--debug]\n"
         "Runs the Velgrade proxy on 127.0.0.1 at the port of corvask.ini (default 8080).\n"
         "  -c, --config-dir FOLDER  read corvask.ini from FOLDER\n"
         "  --chain-proxy-url URL    take the upstream proxy from the marker in the page at\n"
         "                           URL (needs FetchChainProxy=1 in corvask.ini)\n"
         "  -d, --debug              write the engine's log lines to standard error\n"
         "                           (also when VELGRADE_DEBUG is set)\n";
}
