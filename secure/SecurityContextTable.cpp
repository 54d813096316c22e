#include "secure/SecurityContextTable.h"

#include <ctime>
#include <strings.h>
#include <unordered_map>

#include "engine/Velgrade.h"
#include "platform/CriticalSection.h"
#include "secure/SecureSiteTable.h"
#include "secure/SecurityContext.h"

namespace {

struct Table {
  CriticalSection lock;
  std::unordered_map<gss_ctx_id_t, SecurityContext*> contexts;
  Velgrade* engine = nullptr;
};

Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

unsigned long HandleNumber(gss_ctx_id_t handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}

void OnEngineClosing() {
  SecureSiteTable::ClearSecureSites();
  SecurityContextTable::InitContextTable(nullptr);
}

}  // namespace

void SecurityContextTable::InitContextTable(Velgrade* engine) {
  CriticalSectionLock guard(TheTable().lock);
  TheTable().engine = engine;
}

void SecurityContextTable::Install(Velgrade& engine) {
  SecureSiteTable::ClearSecureSites();
  InitContextTable(&engine);
  HousekeepingHooks hooks;
  hooks.purgeStaleContexts = PurgeStaleContexts;
  hooks.isContextTableEmpty = IsContextTableEmpty;
  hooks.engineClosing = OnEngineClosing;
  engine.SetHousekeepingHooks(hooks);
}

Velgrade* SecurityContextTable::GetEngine() {
  CriticalSectionLock guard(TheTable().lock);
  return TheTable().engine;
}

void SecurityContextTable::AddContext(SecurityContext* ctx) {
  ctx->AddRef();
  CriticalSectionLock guard(TheTable().lock);
  if (TheTable().engine != nullptr) {
    TheTable().engine->Log(kLogContexts, "Adding security context for peer <%s> with GSS context 0x%lX to global table.\n",
                           ctx->GetPeerName().Text(), HandleNumber(ctx->GetGssContext()));
  }
  TheTable().contexts[ctx->GetGssContext()] = ctx;
}

SecurityContext* SecurityContextTable::FindContextByHandle(gss_ctx_id_t handle) {
  CriticalSectionLock guard(TheTable().lock);
  auto found = TheTable().contexts.find(handle);
  if (found == TheTable().contexts.end()) return nullptr;
  found->second->AddRef();
  return found->second;
}

SecurityContext* SecurityContextTable::FindClientContext(const GString& host, int port) {
  CriticalSectionLock guard(TheTable().lock);
  for (auto& entry : TheTable().contexts) {
    SecurityContext* ctx = entry.second;
    if (ctx->GetPort() == port && strcasecmp(ctx->GetHost().Text(), host.Text()) == 0) {
      ctx->AddRef();
      return ctx;
    }
  }
  return nullptr;
}

int SecurityContextTable::RemoveContext(SecurityContext*& ctx) {
  if (ctx == nullptr) return 0;
  {
    CriticalSectionLock guard(TheTable().lock);
    auto found = TheTable().contexts.find(ctx->GetGssContext());
    if (found != TheTable().contexts.end() && found->second == ctx) TheTable().contexts.erase(found);
  }
  int remaining = ctx->Release();
  ctx = nullptr;
  return remaining;
}

void SecurityContextTable::PurgeStaleContexts(int maxAge) {
  time_t now = time(nullptr);
  CriticalSectionLock guard(TheTable().lock);
  auto& contexts = TheTable().contexts;
  for (auto entry = contexts.begin(); entry != contexts.end();) {
    SecurityContext* ctx = entry->second;
    ctx->lock_.Enter();
    if (maxAge != 0 && (now - ctx->lastUsed_ <= maxAge || ctx->useCount_ != 0)) {
      ctx->lock_.Leave();
      ++entry;
      continue;
    }
    if (maxAge != 0 && TheTable().engine != nullptr) {
      TheTable().engine->Log(kLogContexts, "Security context for peer <%s> with GSS context 0x%lX is stale.\n",
                             ctx->peerName_.Text(), HandleNumber(ctx->gssContext_));
    }
    entry = contexts.erase(entry);
    ctx->lock_.Leave();
    delete ctx;
  }
}

bool SecurityContextTable::IsContextTableEmpty() {
  CriticalSectionLock guard(TheTable().lock);
  return TheTable().contexts.empty();
}

bool SecurityContextTable::Contains(gss_ctx_id_t handle, const SecurityContext* ctx) {
  CriticalSectionLock guard(TheTable().lock);
  auto found = TheTable().contexts.find(handle);
  return found != TheTable().contexts.end() && found->second == ctx;
}

void SecurityContextTable::Lock() { TheTable().lock.Enter(); }

void SecurityContextTable::Unlock() { TheTable().lock.Leave(); }
