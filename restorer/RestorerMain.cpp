// velgrestore: puts the browser's settings back from the backup file that
// velgrade leaves beside this program while the browser is redirected. No
// window; the command line is ignored; the exit code is always 0.
#include "browser/BackupFile.h"
#include "browser/CrashRecovery.h"
#include "common/GString.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Win32Types.h"

namespace {

// The program's own string table: string 1.
constexpr const char* kRestoreFailedText = "Velgrade failed to restore the browser's settings. \n\nPlease see the help.";
constexpr const char* kCaption = "velgrestore";

void ShowRestoreFailed(void*) { MessageBoxA(nullptr, kRestoreFailedText, kCaption, MB_OK | MB_ICONINFORMATION); }

// "velgrade.tmp" in the folder of this program's executable.
GString BackupFilePath() {
  char path[4096];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return BackupFile::kFileName;
  GString full(path, length);
  int slash = full.ReverseFind('/');
  return full.Left(slash + 1) + BackupFile::kFileName;
}

}  // namespace

int main() {
  RestoreFromBackupFile(BackupFile(BackupFilePath()), ShowRestoreFailed, nullptr);
  return 0;
}
