#include "credentials/ToolkitLoader.h"

#include "platform/DynamicLibrary.h"

namespace {

template <typename Function>
void Fetch(HMODULE module, const char* name, Function& target) {
  target = reinterpret_cast<Function>(GetProcAddress(module, name));
}

}  // namespace

bool ToolkitLoader::Load(CredentialState& state) {
  if (state.toolkitModule != nullptr) return true;
  HMODULE module = LoadLibraryA(state.toolkitLibrary.Text());
  if (module == nullptr) return false;
  ToolkitEntryPoints& calls = state.toolkit;
  Fetch(module, "_CVLogin@16", calls.login);
  Fetch(module, "_CVLogout@4", calls.logout);
  Fetch(module, "_CVQueryCorLogWarning@4", calls.queryCorLogWarning);
  Fetch(module, "_CVCorLogToString@4", calls.corLogToString);
  Fetch(module, "_CVStartProtect@24", calls.startProtect);
  Fetch(module, "_CVEndProtect@12", calls.endProtect);
  Fetch(module, "_CVProtect@8", calls.protect);
  Fetch(module, "_CVStartUnprotect@12", calls.startUnprotect);
  Fetch(module, "_CVEndUnprotect@12", calls.endUnprotect);
  Fetch(module, "_CVASCIIencode@8", calls.asciiEncode);
  Fetch(module, "_CVASCIIdecode@8", calls.asciiDecode);
  Fetch(module, "_CVRemoveWarning@4", calls.removeWarning);
  if (calls.login == nullptr || calls.logout == nullptr || calls.queryCorLogWarning == nullptr ||
      calls.corLogToString == nullptr || calls.removeWarning == nullptr) {
    calls = ToolkitEntryPoints{};
    FreeLibrary(module);
    return false;
  }
  state.toolkitModule = module;
  return true;
}
