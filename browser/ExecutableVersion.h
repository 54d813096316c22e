#pragma once

// The major and minor parts of a browser executable's product and file
// versions, from its version block.
struct ExecutableVersion {
  int productMajor = 0;
  int productMinor = 0;
  int fileMajor = 0;
  int fileMinor = 0;
};

// Reads the version block of the file at path. False when the file carries
// none.
bool ReadExecutableVersion(const char* path, ExecutableVersion& version);

// True for Netscape 4.50 and later: both majors above 4, or both minors 50
// or more.
bool IsNewRegistryVersion(const ExecutableVersion& version);
