#pragma once

#include "platform/Win32Types.h"

// The message box as the code below the user interface reaches it. Without a
// hook the text goes to standard error and the box's default button (OK,
// Yes or Retry: the first one) is the answer, which is what a program without
// a window can do. The user interface, and tests, install a hook that shows
// the box or answers for the user.

constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_YESNOCANCEL = 0x0003;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_RETRYCANCEL = 0x0005;
constexpr UINT MB_ICONSTOP = 0x0010;
constexpr UINT MB_ICONERROR = MB_ICONSTOP;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONINFORMATION = 0x0040;
constexpr UINT MB_TOPMOST = 0x00040000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows text with caption and returns the id of the button chosen.
int MessageBoxA(void* owner, const char* text, const char* caption, UINT type);

// A hook receives every box instead of standard error; context is passed back
// unchanged. A null hook restores the default. The hook and its context are
// the installer's and must outlive their installation.
using MessageBoxHook = int (*)(void* context, void* owner, const char* text, const char* caption,
                               UINT type);
void SetMessageBoxHook(MessageBoxHook hook, void* context);
