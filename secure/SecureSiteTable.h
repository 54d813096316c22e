#pragma once

#include "common/GString.h"

// What the client remembers of each protected site that announced itself:
// the server's distinguished name and where its tokens are posted, so that a
// new context can be built without asking the server again. Keyed by
// host + ":" + port, letter case counting. Used from the polling thread only.
class SecureSiteTable {
 public:
  struct SecureSite {
    GString host;
    int port = 0;
    GString secureUrl;
    GString serverDn;
  };

  // Replaces any record of the same host and port.
  static void RememberSecureSite(const GString& host, int port, const GString& secureUrl,
                                 const GString& serverDn);
  // Copies the record into site; false when there is none.
  static bool FindSecureSite(const GString& host, int port, SecureSite& site);
  static void ClearSecureSites();
};
