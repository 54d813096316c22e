#pragma once

#include "common/GString.h"
#include "platform/Win32Types.h"

// Message numbers of the string table used by the browser code.
constexpr UINT kMessageCloseBrowser = 2124;
constexpr UINT kMessageRestoreFailed = 2129;

// The caption of the browser code's message boxes.
constexpr const char* kBrowserMessageCaption = "Velgrade";

// The text of string-table message id. When the resource library cannot give
// it, the English text of the messages above is used, so that the user is
// still told.
GString LoadBrowserMessage(UINT id);
