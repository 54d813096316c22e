#pragma once

#include "browser/BackupFile.h"

// Putting the browser's settings back from a backup file that a previous run
// left behind.

// Tells the user once that restoring failed; context is the caller's.
using RestoreFailureNotice = void (*)(void* context);

// When file exists: reads it, creates the settings object for its kind and
// restores the record, calling notice for the failed read, for an unknown
// kind and for a failed restore. The file is deleted after a restore, and
// when its body does not decode; it is kept when its kind is unknown or a
// decoded record could not be written back, so that a later attempt can
// still restore it.
void RestoreFromBackupFile(const BackupFile& file, RestoreFailureNotice notice, void* context);

// velgrade's start-up step: RestoreFromBackupFile on "velgrade.tmp" in the
// current folder, failures shown as message 2129 with the information icon.
void RecoverBrowserSettingsAtStart();
