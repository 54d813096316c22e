#pragma once

#include <cstddef>

// The saved-settings record shared by the Netscape classes: 7180 bytes,
// integers 32-bit little-endian, texts NUL-terminated in 1024-byte slots.
namespace netscape_record {

constexpr size_t kLength = 7180;
constexpr size_t kTextSize = 1024;

constexpr size_t kProxyType = 0;  // 0 none, 1 manual, 2 automatic configuration
constexpr size_t kHttpHost = 4;
constexpr size_t kHttpPort = 1028;
constexpr size_t kGopherHost = 1032;
constexpr size_t kFtpHost = 2056;
constexpr size_t kSslHost = 3080;
constexpr size_t kWaisHost = 4104;
constexpr size_t kAutoConfigUrl = 5128;
constexpr size_t kReserved = 6152;  // never written or read
constexpr size_t kFormWarning = 7176;

constexpr int kTypeNone = 0;
constexpr int kTypeManual = 1;
constexpr int kTypeAutoConfig = 2;

}  // namespace netscape_record
