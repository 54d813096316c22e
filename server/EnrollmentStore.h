#pragma once

#include <cstdint>
#include <string>

// The pending enrollments and card holders of an authority folder, in the
// file kStoreFile beside the authority's key (mode 0600, rewritten
// atomically under an exclusive lock on kLockFile, so velgrade-admin and
// every velgrade-server thread may use it at once). One line each, fields
// separated by tabs:
//
//   enrollment <reference> <base64 MAC key> <base64 distinguished name> <0|1 used>
//   card <registration identifier> <encrypted reference> <encrypted code> <0|1 used>
//
// No authorization code, card number or temporary password is stored: an
// enrollment keeps the MAC key derived from its code, a card holder the two
// values already encrypted under the key only the card holder can derive.
// Each entry can be used once.
class EnrollmentStore {
 public:
  static constexpr char kStoreFile[] = "enrollments.txt";
  static constexpr char kLockFile[] = "enrollments.lock";

  enum class Result { kDone, kUnknown, kUsed, kExists, kFailed };

  explicit EnrollmentStore(std::string folder) : folder_(std::move(folder)) {}

  // Registers a pending enrollment. kExists when the reference is known.
  Result AddEnrollment(int32_t reference, const std::string& macKey, const std::string& name);
  // Registers a card holder. kExists when the identifier is known.
  Result AddCardHolder(const std::string& identifier, const std::string& encryptedReference,
                       const std::string& encryptedCode);

  // Finds the pending enrollment of reference without using it.
  Result FindEnrollment(int32_t reference, std::string& macKey, std::string& name);
  // Marks an enrollment used; kUsed when another request took it first.
  Result UseEnrollment(int32_t reference);
  // Takes the card holder's two values and marks the entry used.
  Result UseCardHolder(const std::string& identifier, std::string& encryptedReference,
                       std::string& encryptedCode);

 private:
  std::string folder_;
};
