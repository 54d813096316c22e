#include "server/proxy/ServerProxy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/SecureExchange.h"
#include "server/proxy/ServerLog.h"
#include "server/proxy/ServerPages.h"

namespace vserver {

namespace {

constexpr size_t kMaxQueued = 4096;
constexpr int kAcceptPollMilliseconds = 200;

}  // namespace

ServerProxy::ServerProxy(const ServerConfig& config) : config_(config) {}

ServerProxy::~ServerProxy() { Stop(); }

bool ServerProxy::Prepare(std::string& error) {
  ServerLog::SetVerbose(config_.verbose);
  if (!credential_.SignOnWithPasswordFile(config_.profile, config_.passwordFile, error))
    return false;
  sockaddr_in originAddress{};
  if (!OriginClient::Resolve(config_.originHost, config_.originPort, originAddress, error))
    return false;
  origin_ = std::make_unique<OriginClient>(originAddress, config_.originTimeout);
  exchange_ = std::make_unique<SecureExchange>(config_, credential_, contexts_, *origin_);
  return true;
}

bool ServerProxy::Start(std::string& error) {
  if (!Prepare(error) || !Listen(error)) return false;
  stopping_ = false;
  acceptThread_ = std::thread(&ServerProxy::AcceptLoop, this);
  purgeThread_ = std::thread(&ServerProxy::PurgeLoop, this);
  for (unsigned i = 0; i < config_.workerThreads; ++i)
    workers_.emplace_back(&ServerProxy::WorkerLoop, this);
  ServerLog::Write("Listening on %s:%u as <%s>, relaying to %s:%u", config_.listenAddress.c_str(),
                   port_, credential_.GetName().c_str(), config_.originHost.c_str(),
                   config_.originPort);
  return true;
}

bool ServerProxy::Listen(std::string& error) {
  listener_ = SocketHandle(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener_.IsValid()) {
    error = std::string("cannot create the listening socket: ") + std::strerror(errno);
    return false;
  }
  int on = 1;
  setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(config_.listenPort);
  inet_pton(AF_INET, config_.listenAddress.c_str(), &address.sin_addr);
  if (bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_.Get(), 1024) != 0) {
    error = "cannot listen on " + config_.listenAddress + ":" + std::to_string(config_.listenPort) +
            ": " + std::strerror(errno);
    listener_.Close();
    return false;
  }
  socklen_t size = sizeof address;
  getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  return true;
}

void ServerProxy::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  purgeWake_.notify_all();
  if (acceptThread_.joinable()) acceptThread_.join();
  if (purgeThread_.joinable()) purgeThread_.join();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  workers_.clear();
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& queued : queue_) close(queued.first);
  queue_.clear();
  listener_.Close();
}

void ServerProxy::AcceptLoop() {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stopping_) return;
    }
    pollfd entry{listener_.Get(), POLLIN, 0};
    if (poll(&entry, 1, kAcceptPollMilliseconds) <= 0) continue;
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    int fd = accept4(listener_.Get(), reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or a connection reset before it was taken: wait a
      // little instead of spinning.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.size() >= kMaxQueued) {
      close(fd);
      continue;
    }
    ++busy_;
    queue_.emplace_back(fd, peer);
    wake_.notify_one();
  }
}

void ServerProxy::WorkerLoop() {
  for (;;) {
    std::pair<int, sockaddr_in> job;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = queue_.front();
      queue_.pop_front();
    }
    Serve(SocketHandle(job.first), job.second);
    --busy_;
  }
}

void ServerProxy::PurgeLoop() {
  auto interval = std::chrono::seconds(
      std::clamp<unsigned>(std::min(config_.contextIdleTimeout, config_.handshakeTimeout) / 4, 1, 10));
  std::unique_lock<std::mutex> guard(lock_);
  while (!stopping_) {
    purgeWake_.wait_for(guard, interval, [this] { return stopping_; });
    if (stopping_) return;
    guard.unlock();
    size_t purged =
        contexts_.PurgeIdle(std::time(nullptr), config_.contextIdleTimeout, config_.handshakeTimeout);
    if (purged != 0) ServerLog::Write("Dropped %zu idle security context(s)", purged);
    guard.lock();
  }
}

void ServerProxy::Serve(SocketHandle socket, const sockaddr_in& peer) {
  Endpoint endpoint;
  endpoint.peerAddress = SocketIo::AddressText(peer);
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&local), &size) == 0) {
    endpoint.localAddress = SocketIo::AddressText(local);
    endpoint.localPort = ntohs(local.sin_port);
  }
  if (!SocketIo::Prepare(socket.Get())) return;
  HttpMessageReader request(HttpMessageReader::Kind::kRequest, config_.maxHeaderSize,
                            config_.maxRequestBody);
  std::string error;
  Reply reply;
  if (!SocketIo::ReadMessage(socket.Get(), request, config_.clientTimeout, config_.clientTimeout,
                             error)) {
    ServerLog::Detail("Request from <%s> dropped: %s", endpoint.peerAddress.c_str(), error.c_str());
    if (!request.IsTooLarge()) return;
    reply.head = ServerPages::PlainError("413 Request Entity Too Large",
                                         "The request is larger than this server accepts.");
  } else {
    exchange_->Answer(request, endpoint, reply);
  }
  std::string_view pieces[] = {reply.head, std::string_view(reply.body).substr(
                                                           std::min(reply.bodyOffset, reply.body.size())),
                               reply.token.View()};
  if (!SocketIo::SendAll(socket.Get(), pieces, 3, config_.clientTimeout, error))
    ServerLog::Detail("Answer to <%s> not delivered: %s", endpoint.peerAddress.c_str(),
                      error.c_str());
}

}  // namespace vserver
