// A resource library whose entry 2127 reads "1": an unreachable directory
// then does not keep the user from signing on.
#include "resources/ResourceDirectory.h"

namespace {

const StringEntry kStrings[] = {
    {2058, "Cannot initialize Corvask.\n\n%s"},
    {2067, "Invalid password."},
    {2127, "1"},
    {2135, "The public directory  is unavailable."},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const ResourceDirectory* VelgresResourceDirectory() {
  static const ResourceDirectory directory = {sizeof(ResourceDirectory), kStrings,
                                              sizeof(kStrings) / sizeof(kStrings[0])};
  return &directory;
}
