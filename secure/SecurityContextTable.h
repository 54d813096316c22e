#pragma once

#include "common/GString.h"
#include "session/GssApi.h"

class SecurityContext;
class Velgrade;

// The process-wide table of security contexts, keyed by the session
// library's context handle and shared by every transaction. The table holds
// no reference of its own: a context lives while it is in the table or
// referenced. Lock order: the table lock first, then a context's lock.
class SecurityContextTable {
 public:
  // Remembers the engine for logging and for the user's credential; null
  // forgets it. The engine must outlive its use here.
  static void InitContextTable(Velgrade* engine);
  // InitContextTable, forgetting the sites of any earlier engine, and hands
  // the engine the housekeeping of this table (aging, sign-off, shut-down).
  static void Install(Velgrade& engine);
  static Velgrade* GetEngine();

  // Takes a reference and enters ctx under its context handle.
  static void AddContext(SecurityContext* ctx);

  // The context of handle, or of host (letter case ignored) and port, with a
  // reference taken for the caller; null when there is none.
  static SecurityContext* FindContextByHandle(gss_ctx_id_t handle);
  static SecurityContext* FindClientContext(const GString& host, int port);

  // Takes ctx out of the table, releases the caller's reference and sets ctx
  // to null. Returns the remaining count. A null ctx gives 0.
  static int RemoveContext(SecurityContext*& ctx);

  // Deletes every context unused for longer than maxAge seconds and not in
  // use; maxAge 0 deletes every context, in use or not.
  static void PurgeStaleContexts(int maxAge);

  static bool IsContextTableEmpty();

  // True when ctx is the entry of handle (asked by Release under the table
  // lock).
  static bool Contains(gss_ctx_id_t handle, const SecurityContext* ctx);

  // The table lock; Release takes it before the context's own.
  static void Lock();
  static void Unlock();
};
