#include "secure/SecureSiteTable.h"

#include <map>
#include <string>

namespace {

std::map<std::string, SecureSiteTable::SecureSite>& Sites() {
  static std::map<std::string, SecureSiteTable::SecureSite> sites;
  return sites;
}

std::string KeyOf(const GString& host, int port) {
  return std::string(host.Text(), host.Size()) + ":" + std::to_string(port);
}

}  // namespace

void SecureSiteTable::RememberSecureSite(const GString& host, int port, const GString& secureUrl,
                                         const GString& serverDn) {
  SecureSite site;
  site.host = host;
  site.port = port;
  site.secureUrl = secureUrl;
  site.serverDn = serverDn;
  Sites()[KeyOf(host, port)] = site;
}

bool SecureSiteTable::FindSecureSite(const GString& host, int port, SecureSite& site) {
  auto found = Sites().find(KeyOf(host, port));
  if (found == Sites().end()) return false;
  site = found->second;
  return true;
}

void SecureSiteTable::ClearSecureSites() { Sites().clear(); }
