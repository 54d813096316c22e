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
  if (file.Read(record, kind) != 0) notice(context);
  std::unique_ptr<BrowserSettings> settings = CreateBrowserSettingsForKind(kind);
  if (settings == nullptr) {
    notice(context);
    return;
  }
  if (!settings->RestoreSettings(record)) notice(context);
  file.Delete();
}

void RecoverBrowserSettingsAtStart() {
  RestoreFromBackupFile(BackupFile(BackupFile::kFileName), ShowRestoreFailed, nullptr);
}
