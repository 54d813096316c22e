#pragma once

#include <cstddef>

// The saved-settings records of the Internet Explorer classes: 2068 bytes
// for versions 3 and 4; for version 5 the same first 2068 bytes, the
// connection's name and the connection record as read. Integers are 32-bit
// little-endian, texts NUL-terminated.
namespace explorer_record {

constexpr size_t kLength = 2068;
constexpr size_t kTextSize = 1024;

constexpr size_t kProxyEnable = 0;
constexpr size_t kProxyServer = 4;
constexpr size_t kAutoConfigUrl = 1028;
constexpr size_t kWarnOnPost = 2052;
constexpr size_t kWarnAlwaysOnPost = 2056;
constexpr size_t kZonePolicy = 2060;  // zone 3 value "1601"
constexpr size_t kProxyHttp11 = 2064;

// Version 5 only.
constexpr size_t kConnectionName = 2068;
constexpr size_t kConnectionNameSize = 512;
constexpr size_t kRawConnection = 2580;
constexpr size_t kVersion5MinimumLength = 2580;

}  // namespace explorer_record
