#include "session/IniDocument.h"

#include <strings.h>

namespace session {

namespace {

constexpr char kContinue[] = "_continue_=";
constexpr size_t kContinueLength = sizeof(kContinue) - 1;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void TrimLeft(std::string& text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.erase(0, start);
}

void TrimRight(std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  text.resize(end);
}

void Trim(std::string& text) {
  TrimRight(text);
  TrimLeft(text);
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

bool IniDocument::Feed(const char* text, size_t length) {
  if (overflow_ || length > kMaxTextLength - fed_) {
    overflow_ = true;
    return false;
  }
  fed_ += length;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') {
      TakeLine(std::move(pending_));
      pending_.clear();
    } else {
      pending_ += text[i];
    }
  }
  return true;
}

void IniDocument::Finish() {
  if (!pending_.empty()) TakeLine(std::move(pending_));
  pending_.clear();
}

bool IniDocument::Parse(const char* text, size_t length) {
  Clear();
  if (!Feed(text, length)) return false;
  Finish();
  return true;
}

void IniDocument::Clear() {
  sections_.clear();
  pending_.clear();
  fed_ = 0;
  overflow_ = false;
  continueSection_ = -1;
  continueEntry_ = -1;
}

void IniDocument::TakeLine(std::string line) {
  TrimLeft(line);
  if (!line.empty() && line[0] == '[') {
    size_t close = line.rfind(']');
    std::string name = line.substr(1, close == std::string::npos || close == 0 ? std::string::npos
                                                                               : close - 1);
    Trim(name);
    sections_.push_back(Section{std::move(name), {}});
    continueSection_ = continueEntry_ = -1;
    return;
  }
  size_t comment = line.find(';');
  if (comment != std::string::npos) line.resize(comment);
  TrimRight(line);
  size_t equals = line.find('=');
  if (equals == std::string::npos || sections_.empty()) return;
  if (line.compare(0, kContinueLength, kContinue) == 0) {
    if (continueEntry_ >= 0) {
      std::string& value = sections_[continueSection_].entries[continueEntry_].second;
      value += line.substr(kContinueLength);
      TrimRight(value);
    }
    return;
  }
  std::string key = line.substr(0, equals);
  std::string value = line.substr(equals + 1);
  Trim(key);
  Trim(value);
  Section& section = sections_.back();
  section.entries.emplace_back(std::move(key), std::move(value));
  continueSection_ = static_cast<long>(sections_.size()) - 1;
  continueEntry_ = static_cast<long>(section.entries.size()) - 1;
}

IniDocument::Section* IniDocument::FindSection(const char* name) {
  for (Section& section : sections_)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

const IniDocument::Section* IniDocument::FindSection(const char* name) const {
  for (const Section& section : sections_)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

bool IniDocument::Get(const char* section, const char* key, std::string& value) const {
  // The first section of that name holds the key, as the program's reader
  // finds it.
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const Entry& entry : found->entries) {
    if (SameName(entry.first, key)) {
      value = entry.second;
      return true;
    }
  }
  return false;
}

void IniDocument::Set(const char* section, const char* key, const std::string& value) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back(Section{section, {}});
    found = &sections_.back();
  }
  for (Entry& entry : found->entries) {
    if (SameName(entry.first, key)) {
      entry.second = value;
      return;
    }
  }
  found->entries.emplace_back(key, value);
}

std::string IniDocument::Serialize() const {
  std::string text;
  for (const Section& section : sections_) {
    if (!text.empty()) text += '\n';
    text += '[' + section.name + "]\n";
    for (const Entry& entry : section.entries) {
      text += entry.first + '=' + entry.second.substr(0, kPieceLength) + '\n';
      for (size_t at = kPieceLength; at < entry.second.size(); at += kPieceLength)
        text += kContinue + entry.second.substr(at, kPieceLength) + '\n';
    }
  }
  return text;
}

}  // namespace session
