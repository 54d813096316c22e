#include "server/EnrollmentStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <sstream>
#include <vector>

#include "common/Base64.h"
#include "common/BinData.h"
#include "platform/Files.h"

namespace {

constexpr size_t kMaxStoreSize = size_t{16} << 20;

struct Entry {
  std::vector<std::string> fields;  // kind, key, two values, used flag
};

// Holds the exclusive lock of a store while it lives.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool ReadEntries(const std::string& path, std::vector<Entry>& entries) {
  entries.clear();
  if (_access(path.c_str(), kAccessExists) != 0) return true;
  BinData text;
  if (!ReadWholeFile(path.c_str(), text, kMaxStoreSize)) return false;
  std::istringstream lines(std::string(reinterpret_cast<const char*>(text.GetData()), text.GetLength()));
  text.Wipe();
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    Entry entry{SplitTabs(line)};
    if (entry.fields.size() != 5) return false;
    entries.push_back(std::move(entry));
  }
  return true;
}

bool WriteEntries(const std::string& path, const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& entry : entries) {
    for (size_t i = 0; i < entry.fields.size(); ++i) text += (i == 0 ? "" : "\t") + entry.fields[i];
    text += "\n";
  }
  AtomicWriteOptions options;
  options.newFileMode = 0600;
  bool written = WriteFileAtomically(path.c_str(), text.data(), text.size(), options);
  OPENSSL_cleanse(text.data(), text.size());
  return written;
}

Entry* Find(std::vector<Entry>& entries, const char* kind, const std::string& key) {
  for (Entry& entry : entries)
    if (entry.fields[0] == kind && entry.fields[1] == key) return &entry;
  return nullptr;
}

std::string ToBase64(const std::string& bytes) {
  GString text = Base64Encode(bytes.data(), bytes.size());
  return std::string(text.Text(), text.Size());
}

bool FromBase64(const std::string& text, std::string& bytes) {
  BinData decoded;
  if (!Base64Decode(text.data(), text.size(), decoded)) return false;
  bytes.assign(reinterpret_cast<const char*>(decoded.GetData()), decoded.GetLength());
  decoded.Wipe();
  return true;
}

bool IsField(const std::string& value) {
  return !value.empty() && value.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

EnrollmentStore::Result EnrollmentStore::AddEnrollment(int32_t reference, const std::string& macKey,
                                                       const std::string& name) {
  StoreLock lock(folder_ + "/" + kLockFile);
  std::vector<Entry> entries;
  std::string path = folder_ + "/" + kStoreFile;
  if (!lock.IsHeld() || !ReadEntries(path, entries) || macKey.empty() || name.empty()) return Result::kFailed;
  std::string key = std::to_string(reference);
  if (Find(entries, "enrollment", key) != nullptr) return Result::kExists;
  entries.push_back(Entry{{"enrollment", key, ToBase64(macKey), ToBase64(name), "0"}});
  return WriteEntries(path, entries) ? Result::kDone : Result::kFailed;
}

EnrollmentStore::Result EnrollmentStore::AddCardHolder(const std::string& identifier,
                                                       const std::string& encryptedReference,
                                                       const std::string& encryptedCode) {
  StoreLock lock(folder_ + "/" + kLockFile);
  std::vector<Entry> entries;
  std::string path = folder_ + "/" + kStoreFile;
  if (!lock.IsHeld() || !ReadEntries(path, entries) || !IsField(identifier) || !IsField(encryptedReference) ||
      !IsField(encryptedCode))
    return Result::kFailed;
  if (Find(entries, "card", identifier) != nullptr) return Result::kExists;
  entries.push_back(Entry{{"card", identifier, encryptedReference, encryptedCode, "0"}});
  return WriteEntries(path, entries) ? Result::kDone : Result::kFailed;
}

EnrollmentStore::Result EnrollmentStore::FindEnrollment(int32_t reference, std::string& macKey,
                                                        std::string& name) {
  StoreLock lock(folder_ + "/" + kLockFile);
  std::vector<Entry> entries;
  if (!lock.IsHeld() || !ReadEntries(folder_ + "/" + kStoreFile, entries)) return Result::kFailed;
  Entry* entry = Find(entries, "enrollment", std::to_string(reference));
  if (entry == nullptr) return Result::kUnknown;
  if (entry->fields[4] != "0") return Result::kUsed;
  return FromBase64(entry->fields[2], macKey) && FromBase64(entry->fields[3], name) ? Result::kDone
                                                                                    : Result::kFailed;
}

EnrollmentStore::Result EnrollmentStore::UseEnrollment(int32_t reference) {
  StoreLock lock(folder_ + "/" + kLockFile);
  std::vector<Entry> entries;
  std::string path = folder_ + "/" + kStoreFile;
  if (!lock.IsHeld() || !ReadEntries(path, entries)) return Result::kFailed;
  Entry* entry = Find(entries, "enrollment", std::to_string(reference));
  if (entry == nullptr) return Result::kUnknown;
  if (entry->fields[4] != "0") return Result::kUsed;
  entry->fields[4] = "1";
  return WriteEntries(path, entries) ? Result::kDone : Result::kFailed;
}

EnrollmentStore::Result EnrollmentStore::UseCardHolder(const std::string& identifier,
                                                       std::string& encryptedReference,
                                                       std::string& encryptedCode) {
  StoreLock lock(folder_ + "/" + kLockFile);
  std::vector<Entry> entries;
  std::string path = folder_ + "/" + kStoreFile;
  if (!lock.IsHeld() || !ReadEntries(path, entries)) return Result::kFailed;
  Entry* entry = Find(entries, "card", identifier);
  if (entry == nullptr) return Result::kUnknown;
  if (entry->fields[4] != "0") return Result::kUsed;
  entry->fields[4] = "1";
  if (!WriteEntries(path, entries)) return Result::kFailed;
  encryptedReference = entry->fields[2];
  encryptedCode = entry->fields[3];
  return Result::kDone;
}
