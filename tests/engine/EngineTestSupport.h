#pragma once

#include <string>
#include <vector>

#include "engine/Velgrade.h"

// Helpers shared by the engine and secure-channel tests: a private folder
// with a corvask.ini, a free loopback port, and callbacks that record what
// the engine shows and logs.
namespace enginetest {

// A fresh folder under the temporary folder, removed with everything in it
// when the object goes away. Path() ends with '/'.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// A loopback port that was free a moment ago.
int FreePort();

// What the engine handed to its callbacks.
struct Recorder {
  std::vector<std::string> messages;
  std::vector<int> kinds;
  std::vector<std::string> logLines;

  EngineCallbacks Callbacks() const;
  bool Logged(const std::string& fragment) const;
};

// A corvask.ini of section Velgrade with the given port and extra lines.
std::string IniWithPort(int port, const std::string& extraLines = "");

}  // namespace enginetest
