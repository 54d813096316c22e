#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "engine/Velgrade.h"
#include "platform/Files.h"

using namespace winsock;

namespace {

constexpr int kListenBacklog = 5;
constexpr int kHousekeepingInterval = 10;
constexpr int kLongWaitMs = 10000;
// Each transaction may watch two sockets; beyond this many transactions a
// select pass could not watch them all, so further connections wait in the
// listen queue.
constexpr size_t kTransactionLimit = (64 - 1) / 2;

}  // namespace

bool Velgrade::Start() {
  if (_access(configFile_.Text(), kAccessRead) != 0) {
    ShowMessage(2059, configFile_.Text());
    return false;
  }
  if (financialEdition_ && registrationCommand_.IsEmpty()) {
    ShowMessage(2062);
    return false;
  }
  GetOwnAddress();
  if (!OpenListeningSocket()) {
    ShowMessage(2063, GetSocketErrorText(WSAGetLastError()).Text());
    return false;
  }
  Log(kLogSocketEvents, "Waiting for %srequests on port %d.\n", "local ", listenPort_);
  return true;
}

bool Velgrade::OpenListeningSocket() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(listenPort_);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  listenSocket_ = winsock::socket(AF_INET, SOCK_STREAM, 0);
  if (listenSocket_ == INVALID_SOCKET) return false;
  if (winsock::bind(listenSocket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return false;
  }
  if (winsock::listen(listenSocket_, kListenBacklog) != 0) return false;
  // Further connections waiting in the queue are taken without blocking.
  return SetNonBlocking(listenSocket_, true) == 0;
}

bool Velgrade::Poll(int wait, int* stop) { return PollFor(wait == 0 ? 0 : kLongWaitMs, stop); }

bool Velgrade::PollFor(int timeoutMs, int* stop) {
  if (listenSocket_ == INVALID_SOCKET) return true;
  if (wrongPasswordCount_ >= 3) {
    if (stop != nullptr) *stop = 1;
    return false;
  }
  if (stop != nullptr) *stop = 0;
  FdSet read;
  FdSet write;
  FdSet except;
  FdZero(&read);
  FdZero(&write);
  FdZero(&except);
  FdAdd(listenSocket_, &read);
  FdAdd(listenSocket_, &except);
  SOCKET largest = listenSocket_;
  CollectSockets(largest, read, write, except);
  int result = Select(&read, &write, &except, timeoutMs);
  if (result < 0) {
    Log(kLogSocketEvents, "Error %s on select().\n", GetSocketErrorText(WSAGetLastError()).Text());
    return true;
  }
  Housekeep();
  if (result == 0) return true;
  ServiceTransactions(read, write, except);
  if (FdIsSet(listenSocket_, &except)) {
    ShowMessage(2052);
    return false;
  }
  if (FdIsSet(listenSocket_, &read)) return AcceptConnection();
  return true;
}

void Velgrade::CollectSockets(SOCKET& largest, FdSet& read, FdSet& write, FdSet& except) {
  std::vector<Transaction*> finished;
  {
    CriticalSectionLock guard(connectionLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (!it->transaction->AddToFdSets(largest, read, write, except)) {
        finished.push_back(it->transaction);
        connections_.erase(it);
      }
      it = next;
    }
  }
  for (Transaction* transaction : finished) delete transaction;
}

void Velgrade::ServiceTransactions(const FdSet& read, const FdSet& write, const FdSet& except) {
  // Servicing may delete other entries (a sign-off keeps only the current
  // one), so the walk follows serial numbers and skips entries gone meanwhile.
  std::vector<uint64_t> serials;
  {
    CriticalSectionLock guard(connectionLock_);
    serials.reserve(connections_.size());
    for (const Entry& entry : connections_) serials.push_back(entry.serial);
  }
  for (uint64_t serial : serials) {
    Transaction* transaction = nullptr;
    if (!FindEntry(serial, transaction)) continue;
    if (!transaction->ProcessStep(read, write, except)) RemoveEntry(serial);
    if (GetTransactionCount() == 1) break;
  }
}

bool Velgrade::AcceptConnection() {
  for (bool first = true;; first = false) {
    if (!first && GetTransactionCount() >= kTransactionLimit) return true;
    sockaddr_in peer{};
    int length = sizeof peer;
    SOCKET socket = winsock::accept(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (socket == INVALID_SOCKET) {
      int code = WSAGetLastError();
      if (code == WSAEWOULDBLOCK) return true;
      ShowMessage(2053, GetSocketErrorText(code).Text());
      return false;
    }
    Transaction* transaction = factory_.createAccepted != nullptr
                                   ? factory_.createAccepted(*this, socket, peer)
                                   : nullptr;
    if (transaction == nullptr) {
      closesocket(socket);
      return false;
    }
    AddTransaction(transaction);
  }
}

void Velgrade::Housekeep() {
  time_t now = time(nullptr);
  if (now - lastHousekeeping_ < kHousekeepingInterval) return;
  lastHousekeeping_ = now;
  int age = contextTimeout_;
  if (inactivityTimeout_ != 0 && inactivityTimeout_ < age) age = inactivityTimeout_;
  if (hooks_.purgeStaleContexts != nullptr) hooks_.purgeStaleContexts(age);
  if (inactivityTimeout_ != 0 && lastActivity_ != 0 && HasCredential() &&
      now - lastActivity_ > inactivityTimeout_) {
    bool empty = hooks_.isContextTableEmpty == nullptr || hooks_.isContextTableEmpty();
    if (empty) SignOff(0, nullptr);
  }
}

GString Velgrade::GetOwnAddress() {
  if (!ownAddressText_.IsEmpty()) return ownAddressText_;
  Log(kLogSocketEvents, "Attempting to determine our IP address...\n");
  char name[256];
  if (winsock::gethostname(name, sizeof name) != 0) {
    Log(kLogSocketEvents, "gethostname() failed with error %s\n",
        GetSocketErrorText(WSAGetLastError()).Text());
  } else {
    name[sizeof name - 1] = '\0';
    uint32_t address = kNoAddress;
    if (ResolveHostIPv4(name, address) && address != kNoAddress) {
      ownAddress_ = address;
      ownAddressText_ = inet_ntoa_v4(address);
      Log(kLogSocketEvents, "Got it! Our IP address is %s\n", ownAddressText_.Text());
    } else {
      Log(kLogSocketEvents, "gethostbyname(%s) failed with error %s\n", name,
          GetSocketErrorText(WSAGetLastError()).Text());
    }
  }
  if (ownAddressText_.IsEmpty()) ShowMessage(2051);
  return ownAddressText_;
}

void Velgrade::CountConnections(int& secure, int& plain) {
  secure = 0;
  plain = 0;
  CriticalSectionLock guard(connectionLock_);
  for (const Entry& entry : connections_) {
    if (entry.transaction->IsSecure()) {
      ++secure;
    } else {
      ++plain;
    }
  }
}

uint64_t Velgrade::AddTransaction(Transaction* transaction) {
  if (transaction == nullptr) return 0;
  CriticalSectionLock guard(connectionLock_);
  uint64_t serial = nextSerial_++;
  connections_.push_back(Entry{transaction, serial});
  return serial;
}

bool Velgrade::FindEntry(uint64_t serial, Transaction*& transaction) {
  CriticalSectionLock guard(connectionLock_);
  for (const Entry& entry : connections_) {
    if (entry.serial == serial) {
      transaction = entry.transaction;
      return true;
    }
  }
  return false;
}

bool Velgrade::HasTransaction(uint64_t serial) {
  Transaction* ignored = nullptr;
  return FindEntry(serial, ignored);
}

void Velgrade::RemoveEntry(uint64_t serial) {
  Transaction* victim = nullptr;
  {
    CriticalSectionLock guard(connectionLock_);
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->serial == serial) {
        victim = it->transaction;
        connections_.erase(it);
        break;
      }
    }
  }
  delete victim;
}

void Velgrade::RemoveTransaction(uint64_t serial) { RemoveEntry(serial); }

void Velgrade::DeleteTransactionsExcept(Transaction* keep) {
  std::list<Entry> victims;
  {
    CriticalSectionLock guard(connectionLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->transaction != keep) victims.splice(victims.end(), connections_, it);
      it = next;
    }
  }
  for (const Entry& entry : victims) delete entry.transaction;
}

void Velgrade::DeleteSecureTransactionsExcept(Transaction* keep) {
  std::list<Entry> victims;
  {
    CriticalSectionLock guard(connectionLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->transaction != keep && it->transaction->IsSecure()) {
        victims.splice(victims.end(), connections_, it);
      }
      it = next;
    }
  }
  for (const Entry& entry : victims) delete entry.transaction;
}

size_t Velgrade::GetTransactionCount() {
  CriticalSectionLock guard(connectionLock_);
  return connections_.size();
}
