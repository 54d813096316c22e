#include "tests/browser/BrowserTestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/MessageBox.h"

TestWindowsFolder::TestWindowsFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velgrade-browser-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
  setenv("VELGRADE_WINDIR", path_.c_str(), 1);
}

TestWindowsFolder::~TestWindowsFolder() {
  unsetenv("VELGRADE_WINDIR");
  std::error_code ignored;
  // Read-only files inside do not stop the removal of their folder's entries.
  std::filesystem::remove_all(path_, ignored);
}

void TestWindowsFolder::InstallHive(const std::string& hiveName, const std::string& fixture) const {
  WriteText(File(hiveName + ".reg"), ReplaceAll(ReadText(FixturePath(fixture)), "@DIR@", path_));
}

std::string FixturePath(const std::string& name) { return std::string(VELGRADE_TEST_DATA) + "/browser/" + name; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

namespace {

int RecordBox(void* context, void*, const char* text, const char*, UINT type) {
  auto* recorder = static_cast<MessageBoxRecorder*>(context);
  recorder->boxes.push_back({text != nullptr ? text : "", type});
  return recorder->answer;
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder(int answer) : answer(answer) { SetMessageBoxHook(RecordBox, this); }

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook(nullptr, nullptr); }
