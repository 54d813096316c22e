#pragma once

#include <cstdarg>
#include <cstddef>

// The program's own string: a heap buffer of characters with its length and
// capacity, always zero-terminated. Every empty string shares one static empty
// buffer, so constructing and emptying strings allocates nothing.
//
// Indexes are character positions; "not found" is -1. The class never throws:
// a failed allocation leaves the string as it was (appends) or empty (copies).
// Growing overwrites the buffer it leaves behind; holders of passwords call
// Wipe() before the string is freed or emptied.
class GString {
 public:
  GString();
  GString(const char* text);  // NOLINT: strings convert from text implicitly
  GString(const char* bytes, size_t length);
  GString(const GString& other);
  GString(GString&& other) noexcept;
  ~GString();

  GString& operator=(const GString& other);
  GString& operator=(GString&& other) noexcept;
  GString& operator=(const char* text);

  void Append(const char* text);
  void Append(const char* bytes, size_t length);
  void Append(char c);
  void Append(const GString& other);
  GString& operator+=(const char* text) { Append(text); return *this; }
  GString& operator+=(char c) { Append(c); return *this; }
  GString& operator+=(const GString& other) { Append(other); return *this; }

  int GetLength() const { return static_cast<int>(length_); }
  size_t Size() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  const char* Text() const { return data_; }
  operator const char*() const { return data_; }  // NOLINT: used as text everywhere

  // Exact comparison in byte order: negative, zero or positive.
  int Compare(const char* text) const;
  int Compare(const GString& other) const;
  bool operator==(const char* text) const { return Compare(text) == 0; }
  bool operator==(const GString& other) const;
  bool operator!=(const char* text) const { return !(*this == text); }
  bool operator!=(const GString& other) const { return !(*this == other); }

  int Find(char c, int start = 0) const;
  int Find(const char* text, int start = 0) const;
  int ReverseFind(char c) const;
  // Like Find, comparing letters without regard to case (ASCII).
  int FindNoCase(const char* text, int start = 0) const;

  // The characters from index to the end (empty when index is past the end).
  GString Mid(int index) const;
  GString Mid(int index, int count) const;
  // The first count characters (all of them when count is past the end).
  GString Left(int count) const;
  GString Right(int count) const;

  // Removes blanks (space, tab, CR, LF) at both ends.
  void Trim();
  void MakeLower();

  char GetAt(int index) const;
  void SetAt(int index, char c);

  // Returns a writable buffer of at least minLength characters (plus the
  // terminator), keeping the current text. ReleaseBuffer sets the new length;
  // -1 means "up to the first zero". Returns null when memory runs out.
  char* GetBuffer(int minLength);
  void ReleaseBuffer(int newLength = -1);

  // printf-style formatting; the result is cut to 4095 characters.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(const char* format, va_list args);

  // Frees the buffer; the string becomes the shared empty string.
  void Empty();
  // Overwrites every character with '0' (used on passwords before they are
  // freed). The length is kept.
  void Wipe();

  friend GString operator+(const GString& a, const GString& b);
  friend GString operator+(const GString& a, const char* b);
  friend GString operator+(const char* a, const GString& b);

  static constexpr int kFormatLimit = 4095;

 private:
  bool Reserve(size_t capacity);
  void Release();

  char* data_;
  size_t length_ = 0;
  size_t capacity_ = 0;  // 0 while data_ is the shared empty buffer
};
