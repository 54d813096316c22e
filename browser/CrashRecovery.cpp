#include "browser/CrashRecovery.h"

#include "browser/BrowserDetection.h"
#include "browser/BrowserMessages.h"
#include "platform/MessageBox.h"

namespace {

void ShowRestoreFailed(void*) {
  GString text = LoadBrowserMessage(kMessageRestoreFailed);
  MessageBoxA(nullptr, text, kBrowserMessageCaption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

void RestoreFromBackupFile(const BackupFile& file, RestoreFailureNotice notice, void* context) {
  if (!file.Exists()) return;
  BinData record;
  BrowserKind kind = BrowserKind::Unknown;
  bool readable = file.Read(record, kind) == 0;
  if (!readable) notice(context);
  std::unique_ptr<BrowserSettings> settings = CreateBrowserSettingsForKind(kind);
  if (settings == nullptr) {
    notice(context);
    return;
  }
  if (settings->RestoreSettings(record)) {
    file.Delete();
    return;
  }
  notice(context);
  // A record that decoded but could not be written back is the only copy of
  // the user's settings: keep it for the next attempt. A body that does not
  // decode holds nothing to restore and goes.
  if (!readable) file.Delete();
}

void RecoverBrowserSettingsAtStart() {
  RestoreFromBackupFile(BackupFile(BackupFile::kFileName), ShowRestoreFailed, nullptr);
}
