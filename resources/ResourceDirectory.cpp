#include "resources/ResourceDirectory.h"

#include "resources/StringTable.h"

// The library's one exported entry for its resources.
extern "C" __attribute__((visibility("default"))) const ResourceDirectory* VelgresResourceDirectory() {
  static const ResourceDirectory directory = {
      sizeof(ResourceDirectory),
      kStringTable,
      static_cast<uint32_t>(kStringTableSize),
  };
  return &directory;
}
