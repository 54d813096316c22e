#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Velgrade.h"
#include "tests/engine/EngineTestSupport.h"

namespace securetest {

// An origin web server on a loopback port, answering each connection with
// one canned response on its own thread and recording what it received. An
// empty response holds the first connection open without answering.
class FakeOrigin {
 public:
  explicit FakeOrigin(std::string response);
  ~FakeOrigin();

  int Port() const { return port_; }
  std::vector<std::string> Requests();
  int Accepted() const { return accepted_; }

 private:
  void Serve();

  std::string response_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex lock_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// An engine with the transaction class of the secure channel, listening on a
// free loopback port, driven by the test's own thread.
class ProxyHarness {
 public:
  explicit ProxyHarness(const std::string& extraIni = "", const EngineCallbacks* callbacks = nullptr);

  Velgrade& Engine() { return *engine_; }
  enginetest::Recorder& Recorder() { return recorder_; }
  int Port() const { return port_; }

  // Sends request as a browser would and returns everything the proxy
  // answered until it closed the connection (bounded by passes).
  std::string Exchange(const std::string& request);

  // Connects, sends request and closes at once; returns after the engine has
  // had the given number of passes.
  void SendAndClose(const std::string& request, int passes);

  // Runs passes until the engine lists no transaction (bounded); true when
  // it got there.
  bool DrainTransactions(int passes);

 private:
  enginetest::TempFolder folder_;
  enginetest::Recorder recorder_;
  int port_ = 0;
  std::unique_ptr<Velgrade> engine_;
};

}  // namespace securetest
