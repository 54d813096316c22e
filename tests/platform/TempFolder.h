#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes. Unique per process and object, so tests may run
// in parallel.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velgrade-platform-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    path_ = made != nullptr ? made : "";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }

  std::string Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // Names of the entries in the folder, sorted, joined by blanks.
  std::string List() const {
    std::string names;
    std::set<std::string> sorted;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      sorted.insert(entry.path().filename().string());
    }
    for (const auto& name : sorted) names += (names.empty() ? "" : " ") + name;
    return names;
  }

 private:
  std::string path_;
};
