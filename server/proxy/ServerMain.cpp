// velgrade-server: the server proxy in front of a protected web site.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <malloc.h>
#include <pthread.h>

#include "server/proxy/ServerConfig.h"
#include "server/proxy/ServerProxy.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: velgrade-server --config FILE [--check]\n"
               "  --config FILE  the server's settings (see velgrade-server.ini)\n"
               "  --check        validate the settings, sign on and resolve the origin, then exit\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string configPath;
  bool checkOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
      configPath = argv[++i];
    } else if (std::strcmp(argv[i], "--check") == 0) {
      checkOnly = true;
    } else {
      return Usage();
    }
  }
  if (configPath.empty()) return Usage();

  vserver::ServerConfig config;
  std::string error;
  if (!vserver::ServerConfig::Load(configPath, config, error)) {
    std::fprintf(stderr, "velgrade-server: %s\n", error.c_str());
    return 1;
  }
  // Answers of many megabytes are read, wrapped and freed all the time: keep
  // them on the heap instead of mapping and clearing fresh pages for each.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  // A few arenas shared by the workers stay warm; one per thread would each
  // fault in fresh pages for their first large answers.
  mallopt(M_ARENA_MAX, 4);
  // Termination requests are taken by this thread alone; every thread the
  // server starts inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  vserver::ServerProxy server(config);
  bool ready = checkOnly ? server.Prepare(error) : server.Start(error);
  if (!ready) {
    std::fprintf(stderr, "velgrade-server: %s\n", error.c_str());
    return 1;
  }
  if (checkOnly) {
    std::printf("velgrade-server: settings in %s are usable\n", configPath.c_str());
    return 0;
  }
  int received = 0;
  sigwait(&signals, &received);
  std::fprintf(stderr, "velgrade-server: stopping on signal %d\n", received);
  server.Stop();
  return 0;
}
