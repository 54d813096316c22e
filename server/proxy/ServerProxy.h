#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "server/proxy/AcceptedContexts.h"
#include "server/proxy/OriginClient.h"
#include "server/proxy/ServerConfig.h"
#include "server/proxy/ServerCredential.h"
#include "server/proxy/SocketIo.h"

namespace vserver {

class SecureExchange;

// The running server: signs on with its profile, listens, hands every
// accepted connection to a pool of worker threads (one request and one
// answer per connection) and drops idle security contexts.
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
  bool Listen(std::string& error);
  void AcceptLoop();
  void WorkerLoop();
  void PurgeLoop();
  void Serve(SocketHandle socket, const sockaddr_in& peer);

  ServerConfig config_;
  ServerCredential credential_;
  AcceptedContexts contexts_;
  std::unique_ptr<OriginClient> origin_;
  std::unique_ptr<SecureExchange> exchange_;
  SocketHandle listener_;
  uint16_t port_ = 0;

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable purgeWake_;
  std::deque<std::pair<int, sockaddr_in>> queue_;
  bool stopping_ = false;
  std::atomic<size_t> busy_{0};
  std::thread acceptThread_;
  std::thread purgeThread_;
  std::vector<std::thread> workers_;
};

}  // namespace vserver
