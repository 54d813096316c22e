// A small resource library for the loader tests: its texts exercise the
// continuation rules without depending on the wording of the real table.
#include "resources/ResourceDirectory.h"

namespace {

const StringEntry kFakeStrings[] = {
    {1, "plain text"},
    {2, "\\2077\\first "},
    {3, "\\0x10\\hex "},
    {4, "\\020\\octal "},
    {5, "\\999\\before a missing continuation"},
    {6, "\\0\\ends here"},
    {7, "\\2078no second backslash "},
    {8, "\\30\\loop a "},
    {9, "\\"},
    {16, "sixteen"},
    {30, "\\31\\loop b "},
    {31, "\\30\\loop c "},
    {2077, "\\2078\\second "},
    {2078, "third"},
};

}  // namespace

extern "C" const ResourceDirectory* VelgresResourceDirectory() {
  static const ResourceDirectory directory = {
      sizeof(ResourceDirectory), kFakeStrings, sizeof(kFakeStrings) / sizeof(kFakeStrings[0])};
  return &directory;
}

// Exported under a plain name; callers ask for it by its decorated name.
extern "C" int FakeLogin(int a, int b, int c, int d) { return a + b + c + d; }
