#pragma once

#include <deque>
#include <memory>
#include <string>
#include <utility>

#include "engine/Velgrade.h"
#include "tests/engine/EngineTestSupport.h"

// A private folder holding an organisation's authority and user profiles made
// with velgrade-admin, a corvask.ini, and an engine whose callbacks record
// what it shows and answer its log-in prompts from a script.
namespace signontest {

// One answer of the log-in prompt: profile and password, or a cancel.
struct PromptAnswer {
  std::string profile;
  std::string password;
  bool cancel = false;
};

struct World {
  World();

  // Issues a user profile for the distinguished name; returns its path.
  std::string IssueProfile(const std::string& file, const std::string& name, const std::string& password,
                           int days = 365);
  // Writes corvask.ini (port, then the lines of section "Corvask Settings")
  // and creates the engine over it.
  void MakeEngine(const std::string& corvaskSettings = "");

  bool HasMessage(const std::string& fragment) const;

  enginetest::TempFolder folder;
  enginetest::Recorder recorder;
  std::deque<PromptAnswer> answers;
  int prompts = 0;
  std::unique_ptr<Velgrade> engine;
  int port = 0;
};

// Runs velgrade-admin with the arguments in folder; true when it succeeded.
bool RunAdmin(const std::string& folder, const std::string& arguments);

}  // namespace signontest
