#include "browser/BackupFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "browser/StdioFile.h"
#include "common/Base64.h"
#include "platform/Files.h"

namespace {

// Far above any record's encoding; a larger file is not ours.
constexpr size_t kFileLimit = 16 * 1024 * 1024;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

struct KindName {
  const char* text;
  BrowserKind kind;
};

// Tested in this order: the longer names first where one contains another.
constexpr KindName kKindNames[] = {
    {"Netscape Navigator", BrowserKind::Navigator},
    {"Internet Explorer 5.0", BrowserKind::InternetExplorer5},
    {"Internet Explorer", BrowserKind::InternetExplorer},
    {"Netscape Communicator 4.5", BrowserKind::Communicator45},
    {"Netscape Communicator", BrowserKind::Communicator},
};

// Adds (writable) or removes the write permission; false when the file's
// mode cannot be read or changed.
bool SetWritable(const char* path, bool writable) {
  struct stat status {};
  if (stat(path, &status) != 0) return false;
  mode_t mode = status.st_mode & 07777;
  mode = writable ? (mode | S_IWUSR) : (mode & ~kWriteBits);
  return chmod(path, mode) == 0;
}

}  // namespace

const char* BackupFirstLine(BrowserKind kind) {
  switch (kind) {
    case BrowserKind::Communicator:
      return "[Netscape Communicator]";
    case BrowserKind::Navigator:
      return "[Netscape Navigator]";
    case BrowserKind::InternetExplorer:
      return "[Internet Explorer]";
    case BrowserKind::Communicator45:
      return "[Netscape Communicator 4.5]";
    case BrowserKind::InternetExplorer5:
      return "[Internet Explorer 5.0]";
    default:
      return nullptr;
  }
}

void BackupFileReader::Feed(const char* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (inBody_) {
      body_.Append(bytes[i]);
      continue;
    }
    firstLine_.Append(bytes[i]);
    if (bytes[i] == '\n' || firstLine_.Size() >= kFirstLineLimit) inBody_ = true;
  }
}

int BackupFileReader::Finish(BinData& record, BrowserKind& kind) {
  bool known = false;
  for (const KindName& name : kKindNames) {
    if (firstLine_.Find(name.text) >= 0) {
      kind = name.kind;
      known = true;
      break;
    }
  }
  if (!known) return 1;
  if (Base64Decode(body_, record)) return 0;
  // A half-decoded record must never be restored.
  record.Clear();
  return 1;
}

int BackupFile::Write(const BinData& record, BrowserKind kind) const {
  GString body = Base64Encode(record);
  SetWritable(path_, true);
  const char* firstLine = BackupFirstLine(kind);
  if (firstLine == nullptr) return 1;
  // Text mode on the original platform: the line ends in CR LF.
  GString text = GString(firstLine) + "\r\n" + body;
  if (text.Size() != std::strlen(firstLine) + 2 + body.Size()) return 1;
  if (!WriteFileAtomically(path_, text.Text(), text.Size())) return 1;
  return SetWritable(path_, false) ? 0 : 1;
}

int BackupFile::Read(BinData& record, BrowserKind& kind) const {
  BinData bytes;
  if (!ReadWholeFile(path_, bytes, kFileLimit)) return 1;
  BackupFileReader reader;
  reader.Feed(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetLength());
  return reader.Finish(record, kind);
}

bool BackupFile::Exists() const {
  StdioFile file(path_, "r");
  return file.IsOpen();
}

int BackupFile::Delete() const {
  SetWritable(path_, true);
  return std::remove(path_) == 0 ? 0 : 1;
}

namespace {

BackupFile VelgradeBackupFile() { return BackupFile(BackupFile::kFileName); }

}  // namespace

int WriteBackupFile(const BinData& record, BrowserKind kind) { return VelgradeBackupFile().Write(record, kind); }

int ReadBackupFile(BinData& record, BrowserKind& kind) { return VelgradeBackupFile().Read(record, kind); }

bool BackupFileExists() { return VelgradeBackupFile().Exists(); }

int DeleteBackupFile() { return VelgradeBackupFile().Delete(); }
