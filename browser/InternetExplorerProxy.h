#pragma once

#include <cstdint>

#include "common/BinData.h"
#include "common/GString.h"

// What the two Internet Explorer classes share: the registry keys, the
// questions about the first 2068 bytes of a record, the "ProxyServer" text
// and the connection in use. Callers have checked the record's length.

namespace explorer_keys {
constexpr const char* kSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kZone = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
constexpr const char* kConnections =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr const char* kCommand = "htmlfile\\shell\\open\\command";
}  // namespace explorer_keys

// The HTTP proxy or configuration URL the record names (see
// BrowserSettings::GetSavedProxy). False only for a port outside 1 to 65535.
bool GetExplorerSavedProxy(const BinData& record, GString& host, int& port, GString& url);

// 2 configuration URL, 1 an HTTP proxy in use, else 0.
int GetExplorerSavedProxyMode(const BinData& record);

// 1 when the zone policy or "WarnOnPost" asks before a form is sent.
int GetExplorerSavedFormWarning(const BinData& record);

// The "ProxyServer" text that sends HTTP to host:port and keeps the other
// protocols' proxies of old: the HTTP entry of a list is replaced, a single
// proxy for all protocols is kept for FTP, HTTPS and Gopher, a list without
// an HTTP entry gets one in front. With enabled 0 the old text is ignored.
GString MergeProxyServer(const char* old, int enabled, const char* host, int port);

// The name of the version 5 connection value in use:
// "DefaultConnectionSettings", or the default dial-up entry when the machine
// dials.
GString FindConnectionName();

// Writes the zone policy "1601" and then "ProxyHttp1.1" when the zone key can
// be opened for writing. zoneFound tells whether it could; the result is
// false when a write (or reopening the settings key) failed.
bool WriteZoneSettings(uint32_t zonePolicy, uint32_t proxyHttp11, bool& zoneFound);

// Reads the zone policy and "ProxyHttp1.1" into the record when the zone key
// exists. False when the settings key then cannot be opened.
bool ReadZoneSettings(BinData& record);
