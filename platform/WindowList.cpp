#include "platform/WindowList.h"

#include <signal.h>
#include <time.h>

#include <cerrno>

namespace {

// No desktop: no windows, but processes are real.
class EmptyWindowList : public WindowList {
 public:
  std::vector<WindowHandle> EnumerateWindows() override { return {}; }
  bool GetWindowProcessId(WindowHandle, DWORD&) override { return false; }
  bool GetWindowTitle(WindowHandle, GString&, int) override { return false; }
  void SendCloseMessage(WindowHandle) override {}
  bool ProcessExists(DWORD processId) override {
    if (processId == 0) return false;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
  }
  void Sleep(DWORD milliseconds) override {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
  }
};

EmptyWindowList g_emptyList;
WindowList* g_list = nullptr;

}  // namespace

WindowList& GetWindowList() { return g_list != nullptr ? *g_list : g_emptyList; }

void SetWindowList(WindowList* list) { g_list = list; }
