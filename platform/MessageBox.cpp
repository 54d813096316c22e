#include "platform/MessageBox.h"

#include <cstdio>

namespace {

MessageBoxHook g_hook = nullptr;
void* g_hookContext = nullptr;

int DefaultButton(UINT type) {
  switch (type & 0x0F) {
    case MB_YESNOCANCEL:
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    default:
      return IDOK;
  }
}

}  // namespace

int MessageBoxA(void* owner, const char* text, const char* caption, UINT type) {
  if (g_hook != nullptr) return g_hook(g_hookContext, owner, text, caption, type);
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return DefaultButton(type);
}

void SetMessageBoxHook(MessageBoxHook hook, void* context) {
  g_hook = hook;
  g_hookContext = hook != nullptr ? context : nullptr;
}
