#pragma once

#include <string>
#include <vector>

#include "platform/Win32Types.h"

// A fresh folder for one test, playing the Windows folder (VELGRADE_WINDIR)
// while it lives; removed with everything in it at the end.
class TestWindowsFolder {
 public:
  TestWindowsFolder();
  TestWindowsFolder(const TestWindowsFolder&) = delete;
  TestWindowsFolder& operator=(const TestWindowsFolder&) = delete;
  ~TestWindowsFolder();

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Copies tests/data/browser/<fixture> to the hive file of hiveName
  // ("HKEY_CURRENT_USER", ...), with "@DIR@" replaced by Path().
  void InstallHive(const std::string& hiveName, const std::string& fixture) const;

 private:
  std::string path_;
};

std::string FixturePath(const std::string& name);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// Records every message box while installed and answers with answer.
class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(int answer = 1);
  ~MessageBoxRecorder();

  struct Box {
    std::string text;
    UINT type;
  };
  std::vector<Box> boxes;
  int answer;
};
