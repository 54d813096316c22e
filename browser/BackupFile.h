#pragma once

#include <cstddef>

#include "browser/BrowserKind.h"
#include "common/BinData.h"
#include "common/GString.h"

// The backup file "velgrade.tmp": the browser's original settings while the
// browser is pointed at the local proxy, so that they survive a crash. One
// line naming the browser kind ("[Netscape Navigator]", ...), then the
// saved-settings record in base64 on one line without a final line end.
// Written atomically and then made read-only; made writable again before it
// is replaced or removed.
//
// Results follow the program's convention: 0 success, 1 failure.
class BackupFile {
 public:
  static constexpr const char* kFileName = "velgrade.tmp";

  explicit BackupFile(const GString& path) : path_(path) {}

  int Write(const BinData& record, BrowserKind kind) const;
  // Reads the kind from the first line and decodes the rest into record.
  // An unknown first line, a read error or a body that does not decode is a
  // failure (kind then stays as it was or as the first line gave it).
  int Read(BinData& record, BrowserKind& kind) const;
  // True when the file can be opened for reading.
  bool Exists() const;
  // 0 when the file was removed, 1 otherwise (also when there was none).
  int Delete() const;

  const GString& GetPath() const { return path_; }

 private:
  GString path_;
};

// Parses the text of a backup file fed in pieces of any size: the first line
// (at most 511 characters; a longer one goes on into the body) names the
// kind, the remaining lines are joined and decoded.
class BackupFileReader {
 public:
  static constexpr size_t kFirstLineLimit = 511;

  void Feed(const char* bytes, size_t length);
  // 0 with record and kind set, or 1 (see BackupFile::Read).
  int Finish(BinData& record, BrowserKind& kind);

 private:
  GString firstLine_;
  GString body_;
  bool inBody_ = false;
};

// The first line written for kind; null for a kind outside 0 to 4.
const char* BackupFirstLine(BrowserKind kind);

// velgrade's backup file: "velgrade.tmp" in the current folder.
int WriteBackupFile(const BinData& record, BrowserKind kind);
int ReadBackupFile(BinData& record, BrowserKind& kind);
bool BackupFileExists();
int DeleteBackupFile();
