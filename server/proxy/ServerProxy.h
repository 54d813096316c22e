#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "server/proxy/AcceptedContexts.h"
#include "server/proxy/EnrollmentEndpoints.h"
#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/OriginClient.h"
#include "server/proxy/ServerConfig.h"
#include "server/proxy/ServerCredential.h"
#include "server/proxy/SocketIo.h"

namespace vserver {

class SecureExchange;

// The running server: signs on with its profile and listens. One I/O
// thread accepts connections and reads their requests without blocking (so
// slow clients hold no worker); each complete request goes to a pool of
// worker threads that answer it (one request and one answer per
// connection). A purge thread drops idle security contexts.
class ServerProxy {
 public:
  explicit ServerProxy(const ServerConfig& config);
  ~ServerProxy();
  ServerProxy(const ServerProxy&) = delete;
  ServerProxy& operator=(const ServerProxy&) = delete;

  // Signs on, resolves the origin, binds and starts the threads. False with
  // error when any of it fails (nothing is left running).
  bool Start(std::string& error);
  // Signs on and resolves the origin without listening: the start-up checks
  // of Start alone.
  bool Prepare(std::string& error);
  // Stops accepting, lets the workers finish their requests, joins them.
  void Stop();

  // The port actually bound (useful when the configuration asked for 0).
  uint16_t GetPort() const { return port_; }
  const std::string& GetServerName() const { return credential_.GetName(); }
  size_t GetContextCount() const { return contexts_.Size(); }
  // Connections accepted and not yet finished.
  size_t GetBusyCount() const { return busy_; }

 private:
  // A connection whose request is being read, or is complete and waits for
  // a worker.
  struct Pending {
    SocketHandle socket;
    sockaddr_in peer{};
    std::unique_ptr<HttpMessageReader> request;
    std::chrono::steady_clock::time_point headerDeadline;
    std::chrono::steady_clock::time_point idleDeadline;
  };

  bool Listen(std::string& error);
  void IoLoop();
  void AcceptAll(int epoll, std::map<int, std::unique_ptr<Pending>>& pending);
  // Reads what has arrived; true when the connection is done with reading
  // (complete, refused or closed) and must leave the loop.
  bool ReadAvailable(Pending& pending);
  void Dispatch(std::unique_ptr<Pending> pending);
  void DropExpired(std::map<int, std::unique_ptr<Pending>>& pending);
  void WorkerLoop();
  void PurgeLoop();
  void Serve(Pending& pending);

  ServerConfig config_;
  ServerCredential credential_;
  AcceptedContexts contexts_;
  std::unique_ptr<OriginClient> origin_;
  std::unique_ptr<SecureExchange> exchange_;
  std::unique_ptr<EnrollmentEndpoints> enrollment_;
  SocketHandle listener_;
  uint16_t port_ = 0;

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable purgeWake_;
  std::deque<std::unique_ptr<Pending>> queue_;
  bool stopping_ = false;
  std::atomic<size_t> busy_{0};
  std::thread ioThread_;
  std::thread purgeThread_;
  std::vector<std::thread> workers_;
};

}  // namespace vserver
