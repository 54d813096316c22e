#pragma once

#include <atomic>
#include <cstddef>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "server/proxy/FormSignatureCheck.h"
#include "session/GssApi.h"

namespace vserver {

// The security contexts this server accepted, by GSS context handle, with
// the time each was last used so idle ones can be dropped. Thread-safe.
//
// An entry is shared: a request that found it holds a shared_ptr, so a
// context removed from the table (idle, logged off) is deleted with
// gss_delete_sec_context only when the last request using it is done.
class AcceptedContexts {
 public:
  struct Entry {
    explicit Entry(gss_ctx_id_t h) : handle(h), lastUsed(std::time(nullptr)) {}
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const gss_ctx_id_t handle;
    std::atomic<bool> established{false};
    std::atomic<time_t> lastUsed;
    // The client's distinguished name, set once the handshake completes.
    std::string peerName;
    // The marks of the pages marked for signing on this context.
    PageMarks pageMarks;
  };

  // Enters a new context; false when its handle is already present.
  bool Add(const std::shared_ptr<Entry>& entry);
  // The entry for handle (its lastUsed set to now), or null.
  std::shared_ptr<Entry> Find(gss_ctx_id_t handle);
  // Takes the entry out of the table; it is deleted when no request holds it.
  void Remove(gss_ctx_id_t handle);
  // Removes established contexts idle longer than idleSeconds and
  // unfinished handshakes older than handshakeSeconds. Returns how many.
  size_t PurgeIdle(time_t now, unsigned idleSeconds, unsigned handshakeSeconds);
  size_t Size() const;

 private:
  mutable std::mutex lock_;
  std::map<gss_ctx_id_t, std::shared_ptr<Entry>> entries_;
};

}  // namespace vserver
