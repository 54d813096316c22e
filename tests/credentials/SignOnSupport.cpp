#include "tests/credentials/SignOnSupport.h"

#include <cstdlib>
#include <fstream>

#include "credentials/SignOnManager.h"

namespace signontest {

namespace {

bool Prompt(GString& profile, GString& password, void* context) {
  auto* world = static_cast<World*>(context);
  ++world->prompts;
  if (world->answers.empty()) return false;
  PromptAnswer answer = world->answers.front();
  world->answers.pop_front();
  if (answer.cancel) return false;
  profile = answer.profile.c_str();
  password = answer.password.c_str();
  return true;
}

void RecordMessage(const char* text, void* context, int kind) {
  auto* world = static_cast<World*>(context);
  world->recorder.messages.emplace_back(text);
  world->recorder.kinds.push_back(kind);
}

void RecordLog(const char* line, void* context) {
  static_cast<World*>(context)->recorder.logLines.emplace_back(line);
}

}  // namespace

bool RunAdmin(const std::string& folder, const std::string& arguments) {
  std::string command = "cd '" + folder + "' && '" + VELGRADE_ADMIN + "' " + arguments + " >admin.out 2>&1";
  return std::system(command.c_str()) == 0;
}

World::World() { RunAdmin(folder.Path(), "create-ca --dir ca --name 'o=Example'"); }

std::string World::IssueProfile(const std::string& file, const std::string& name, const std::string& password,
                                int days) {
  folder.Write("password", password + "\n");
  RunAdmin(folder.Path(), "issue --ca ca --name '" + name + "' --password-file password --out '" + file +
                              "' --days " + std::to_string(days));
  std::remove((folder.Path() + "password").c_str());
  return folder.Path() + file;
}

void World::MakeEngine(const std::string& corvaskSettings) {
  port = enginetest::FreePort();
  folder.Write("corvask.ini", enginetest::IniWithPort(port) + "[Corvask Settings]\n" + corvaskSettings);
  EngineCallbacks callbacks;
  callbacks.message = RecordMessage;
  callbacks.log = RecordLog;
  callbacks.loginPrompt = Prompt;
  engine = std::make_unique<Velgrade>(folder.Path().c_str(), callbacks, this);
  SignOnManager::Install(*engine);
}

bool World::HasMessage(const std::string& fragment) const {
  for (const std::string& message : recorder.messages) {
    if (message.find(fragment) != std::string::npos) return true;
  }
  return false;
}

}  // namespace signontest
