#pragma once

#include <cstdint>
#include <vector>

#include "common/GString.h"
#include "platform/Win32Types.h"

// A top-level window of the desktop, named by an opaque handle.
using WindowHandle = uintptr_t;

// The desktop's top-level windows and the processes behind them, as far as
// the browser code needs them to close a running browser: list the windows,
// ask one for its process and title, send it a close message and watch its
// process go away.
//
// The default list is empty (no desktop is reached from this program); tests
// and a desktop front end install their own with SetWindowList.
class WindowList {
 public:
  virtual ~WindowList() = default;

  // The top-level windows at the moment of the call.
  virtual std::vector<WindowHandle> EnumerateWindows() = 0;
  // The process that owns window; false when the window has gone.
  virtual bool GetWindowProcessId(WindowHandle window, DWORD& processId) = 0;
  // The window's title, at most maxLength characters; false when it has gone.
  virtual bool GetWindowTitle(WindowHandle window, GString& title, int maxLength) = 0;
  // Sends the close message and returns when the window has handled it.
  virtual void SendCloseMessage(WindowHandle window) = 0;
  // True while the process runs.
  virtual bool ProcessExists(DWORD processId) = 0;
  // Waits the given number of milliseconds.
  virtual void Sleep(DWORD milliseconds) = 0;
};

// The list in use: the installed one, or the empty default.
WindowList& GetWindowList();

// Installs list (not owned; it must outlive its installation); null restores
// the default.
void SetWindowList(WindowList* list);
