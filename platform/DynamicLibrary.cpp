#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <strings.h>

namespace {

bool EndsWithNoCase(const GString& text, const char* suffix) {
  const size_t length = std::strlen(suffix);
  return text.Size() >= length && strcasecmp(text.Text() + text.Size() - length, suffix) == 0;
}

// The folder of the running program, without a trailing slash; empty when the
// system does not tell.
GString ProgramFolder() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return GString();
  GString folder(path, static_cast<size_t>(length));
  const int slash = folder.ReverseFind('/');
  return slash <= 0 ? GString() : folder.Left(slash);
}

HMODULE OpenLibrary(const char* path, int extraFlags = 0) {
  return static_cast<HMODULE>(dlopen(path, RTLD_NOW | RTLD_LOCAL | extraFlags));
}

// Opens `name` as LoadLibraryA does: a path as it is, a bare file name from
// the program's folder first.
HMODULE OpenByWindowsName(const char* name, int extraFlags) {
  if (name == nullptr || *name == '\0') return nullptr;
  const GString file = SharedLibraryFileName(name);
  if (file.Find('/') >= 0) return OpenLibrary(file, extraFlags);
  const GString folder = ProgramFolder();
  if (!folder.IsEmpty()) {
    HMODULE module = OpenLibrary(folder + "/" + file, extraFlags);
    if (module != nullptr) return module;
  }
  return OpenLibrary(file, extraFlags);
}

// "_Name@16" -> "Name"; empty when the name carries no decoration.
GString UndecoratedName(const char* name) {
  GString decorated(name);
  const int at = decorated.ReverseFind('@');
  if (at <= 0) return GString();
  for (int i = at + 1; i < decorated.GetLength(); ++i) {
    if (decorated.GetAt(i) < '0' || decorated.GetAt(i) > '9') return GString();
  }
  const int start = decorated.GetAt(0) == '_' ? 1 : 0;
  return decorated.Mid(start, at - start);
}

}  // namespace

GString SharedLibraryFileName(const char* name) {
  GString path(name);
  const int slash = path.ReverseFind('/');
  GString folder = path.Left(slash + 1);
  GString file = path.Mid(slash + 1);
  if (EndsWithNoCase(file, ".so") || file.Find(".so.") >= 0) return path;
  if (EndsWithNoCase(file, ".dll")) {
    file = file.Left(file.GetLength() - 4);
  }
  return folder + "lib" + file + ".so";
}

HMODULE LoadLibraryA(const char* name) { return OpenByWindowsName(name, 0); }

HMODULE GetModuleHandleA(const char* name) {
  if (name == nullptr) return OpenLibrary(nullptr);
  HMODULE module = OpenByWindowsName(name, RTLD_NOLOAD);
  // RTLD_NOLOAD still counts a load; give it back so the caller owns none.
  if (module != nullptr) dlclose(module);
  return module;
}

GString GetLibraryPath(HMODULE module) {
  struct link_map* map = nullptr;
  if (module == nullptr || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
      map->l_name == nullptr) {
    return GString();
  }
  return GString(map->l_name);
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  void* address = dlsym(module, name);
  if (address != nullptr) return address;
  const GString undecorated = UndecoratedName(name);
  return undecorated.IsEmpty() ? nullptr : dlsym(module, undecorated);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) return FALSE;
  return dlclose(module) == 0 ? TRUE : FALSE;
}
