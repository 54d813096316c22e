#pragma once

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/WinSock.h"

#include <netinet/in.h>

class Velgrade;

// One entry of the engine's connection list: a browser transaction or an
// internal request. The engine owns every entry and deletes it through this
// virtual destructor once AddToFdSets or ProcessStep answers false.
class Transaction {
 public:
  virtual ~Transaction() = default;

  // Adds the entry's sockets to the sets before a select pass and raises
  // largest when one of them is larger. False means the entry is finished
  // and must be deleted without being serviced.
  virtual bool AddToFdSets(winsock::SOCKET& largest, winsock::FdSet& read, winsock::FdSet& write,
                           winsock::FdSet& except) = 0;

  // Lets the entry advance after a select pass. False means it is finished.
  virtual bool ProcessStep(const winsock::FdSet& read, const winsock::FdSet& write,
                           const winsock::FdSet& except) = 0;

  // True while the entry holds a security context.
  virtual bool IsSecure() const = 0;
};

// Receives the answer of an internal request: the status line followed by the
// header lines, the body, and the argument given when the request was made.
using CompletionRoutine = void (*)(const GString& head, const BinData& body, void* argument);

// How the engine creates its entries without knowing their class: the secure
// channel installs these when the program is put together.
struct TransactionFactory {
  // A transaction for a browser connection the engine has accepted; it takes
  // ownership of the socket. Null when it cannot be created.
  Transaction* (*createAccepted)(Velgrade& engine, winsock::SOCKET socket, const sockaddr_in& peer) =
      nullptr;
  // An internal request holding the request line and body; its answer goes
  // to completion. Null when it cannot be created.
  Transaction* (*createInternal)(Velgrade& engine, const char* requestLine, const BinData& body,
                                 CompletionRoutine completion, void* argument,
                                 int skipSiteLookup) = nullptr;
};
