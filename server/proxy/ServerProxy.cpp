#include "server/proxy/ServerProxy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/SecureExchange.h"
#include "server/proxy/ServerLog.h"
#include "server/proxy/ServerPages.h"

namespace vserver {

namespace {

constexpr size_t kMaxQueued = 4096;
// Connections whose requests are being read at once.
constexpr size_t kMaxPending = 8192;
constexpr int kIoPollMilliseconds = 100;
constexpr size_t kReceiveSize = 65536;

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
  enrollment_ = std::make_unique<EnrollmentEndpoints>(config_);
  return enrollment_->Open(error);
}

bool ServerProxy::Start(std::string& error) {
  if (!Prepare(error) || !Listen(error)) return false;
  stopping_ = false;
  ioThread_ = std::thread(&ServerProxy::IoLoop, this);
  purgeThread_ = std::thread(&ServerProxy::PurgeLoop, this);
  for (unsigned i = 0; i < config_.workerThreads; ++i)
    workers_.emplace_back(&ServerProxy::WorkerLoop, this);
  ServerLog::Write("Listening on %s:%u as <%s>, relaying to %s:%u", config_.listenAddress.c_str(),
                   port_, credential_.GetName().c_str(), config_.originHost.c_str(),
                   config_.originPort);
  return true;
}

bool ServerProxy::Listen(std::string& error) {
  listener_ = SocketHandle(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
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
  if (ioThread_.joinable()) ioThread_.join();
  if (purgeThread_.joinable()) purgeThread_.join();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  workers_.clear();
  std::lock_guard<std::mutex> guard(lock_);
  busy_ -= queue_.size();
  queue_.clear();
  listener_.Close();
}

void ServerProxy::IoLoop() {
  SocketHandle epoll(epoll_create1(EPOLL_CLOEXEC));
  epoll_event listening{};
  listening.events = EPOLLIN;
  listening.data.fd = listener_.Get();
  if (!epoll.IsValid() || epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, listener_.Get(), &listening) != 0) {
    ServerLog::Write("Cannot watch the listening socket: %s", std::strerror(errno));
    return;
  }
  std::map<int, std::unique_ptr<Pending>> pending;
  epoll_event events[64];
  auto lastSweep = std::chrono::steady_clock::now();
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stopping_) break;
    }
    int n = epoll_wait(epoll.Get(), events, 64, kIoPollMilliseconds);
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == listener_.Get()) {
        AcceptAll(epoll.Get(), pending);
        continue;
      }
      auto found = pending.find(fd);
      if (found == pending.end()) continue;
      bool finished = true;
      try {
        finished = ReadAvailable(*found->second);
      } catch (const std::exception& failure) {
        ServerLog::Write("Request abandoned: %s", failure.what());
        pending.erase(found);  // closing the socket takes it out of the epoll set
        --busy_;
        continue;
      }
      if (!finished) continue;
      epoll_ctl(epoll.Get(), EPOLL_CTL_DEL, fd, nullptr);
      std::unique_ptr<Pending> done = std::move(found->second);
      pending.erase(found);
      Dispatch(std::move(done));
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastSweep >= std::chrono::milliseconds(kIoPollMilliseconds)) {
      DropExpired(pending);
      lastSweep = now;
    }
  }
  busy_ -= pending.size();
}

void ServerProxy::AcceptAll(int epoll, std::map<int, std::unique_ptr<Pending>>& pending) {
  for (;;) {
    auto entry = std::make_unique<Pending>();
    socklen_t size = sizeof entry->peer;
    int fd = accept4(listener_.Get(), reinterpret_cast<sockaddr*>(&entry->peer), &size,
                     SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      // Out of descriptors: leave the rest in the backlog for a moment.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return;
    }
    entry->socket = SocketHandle(fd);
    if (pending.size() >= kMaxPending || !SocketIo::Prepare(fd)) continue;
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLRDHUP;
    watch.data.fd = fd;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &watch) != 0) continue;
    auto now = std::chrono::steady_clock::now();
    entry->headerDeadline = now + std::chrono::seconds(config_.clientTimeout);
    entry->idleDeadline = entry->headerDeadline;
    entry->request = std::make_unique<HttpMessageReader>(
        HttpMessageReader::Kind::kRequest, config_.maxHeaderSize, config_.maxRequestBody);
    // A client may announce more than it sends: memory follows the bytes.
    entry->request->SetPresize(false);
    ++busy_;
    pending.emplace(fd, std::move(entry));
  }
}

bool ServerProxy::ReadAvailable(Pending& pending) {
  char buffer[kReceiveSize];
  HttpMessageReader& request = *pending.request;
  while (request.GetStatus() == HttpMessageReader::Status::kNeedMore) {
    ssize_t n = recv(pending.socket.Get(), buffer, sizeof buffer, 0);
    if (n > 0) {
      request.Feed(buffer, static_cast<size_t>(n));
      pending.idleDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(config_.clientTimeout);
      continue;
    }
    if (n == 0) {
      request.FinishInput();
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
    return true;
  }
  return true;
}

void ServerProxy::Dispatch(std::unique_ptr<Pending> pending) {
  const HttpMessageReader& request = *pending->request;
  bool answerable = request.GetStatus() == HttpMessageReader::Status::kComplete ||
                    request.IsTooLarge();
  if (!answerable) {
    ServerLog::Detail("Request from <%s> dropped: %s", SocketIo::AddressText(pending->peer).c_str(),
                      request.GetError().c_str());
    --busy_;
    return;
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (queue_.size() >= kMaxQueued) {
    --busy_;
    return;
  }
  queue_.push_back(std::move(pending));
  wake_.notify_one();
}

void ServerProxy::DropExpired(std::map<int, std::unique_ptr<Pending>>& pending) {
  auto now = std::chrono::steady_clock::now();
  for (auto it = pending.begin(); it != pending.end();) {
    const Pending& entry = *it->second;
    bool headerLate = entry.request->FirstLine().empty() && now > entry.headerDeadline;
    if (headerLate || now > entry.idleDeadline) {
      ServerLog::Detail("Request from <%s> timed out", SocketIo::AddressText(entry.peer).c_str());
      it = pending.erase(it);  // closing the socket also takes it out of the epoll set
      --busy_;
    } else {
      ++it;
    }
  }
}

void ServerProxy::WorkerLoop() {
  for (;;) {
    std::unique_ptr<Pending> job;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    // A request that cannot be answered for want of memory costs its
    // connection, never the server.
    try {
      Serve(*job);
    } catch (const std::exception& failure) {
      ServerLog::Write("Request from <%s> abandoned: %s", SocketIo::AddressText(job->peer).c_str(),
                       failure.what());
    }
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

void ServerProxy::Serve(Pending& pending) {
  Endpoint endpoint;
  endpoint.peerAddress = SocketIo::AddressText(pending.peer);
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(pending.socket.Get(), reinterpret_cast<sockaddr*>(&local), &size) == 0) {
    endpoint.localAddress = SocketIo::AddressText(local);
    endpoint.localPort = ntohs(local.sin_port);
  }
  Reply reply;
  if (pending.request->IsTooLarge()) {
    ServerLog::Detail("Request from <%s> refused: %s", endpoint.peerAddress.c_str(),
                      pending.request->GetError().c_str());
    reply.head = ServerPages::PlainError("413 Request Entity Too Large",
                                         "The request is larger than this server accepts.");
  } else if (!enrollment_->Answer(*pending.request, endpoint.peerAddress, reply)) {
    exchange_->Answer(*pending.request, endpoint, reply);
  }
  pending.request.reset();
  std::string_view body = std::string_view(reply.body).substr(std::min(reply.bodyOffset, reply.body.size()));
  std::string_view pieces[] = {reply.head, body, reply.token.View()};
  std::string error;
  if (!SocketIo::SendAll(pending.socket.Get(), pieces, 3, config_.clientTimeout, error))
    ServerLog::Detail("Answer to <%s> not delivered: %s", endpoint.peerAddress.c_str(),
                      error.c_str());
}

}  // namespace vserver
