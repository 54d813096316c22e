#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// The layout through which the resource library hands out its resources.
//
// The library exports exactly one function, VelgresResourceDirectory, which
// returns a pointer to a static ResourceDirectory. Readers find it by name with
// GetProcAddress, so any library exporting that function (a test's own small
// library, for instance) can serve as the resource source.
//
// The directory grows only at its end: a reader checks `size` before touching
// a member, so older libraries keep working with newer readers. Every table is
// sorted by ascending id with no id repeated.

// One string-table entry: its number and its zero-terminated text.
struct StringEntry {
  uint32_t id;
  const char* text;
};

struct ResourceDirectory {
  // Size of this structure in bytes as the library was built.
  uint32_t size;
  // The string table: stringCount entries, sorted by id.
  const StringEntry* strings;
  uint32_t stringCount;
};

// Name of the exported accessor, for GetProcAddress.
inline constexpr char kResourceDirectoryExport[] = "VelgresResourceDirectory";

using ResourceDirectoryAccessor = const ResourceDirectory* (*)();

// Finds `id` in a sorted string table; null when absent or when the table is
// null.
inline const char* FindStringEntry(const StringEntry* table, size_t count, uint32_t id) {
  if (table == nullptr) return nullptr;
  const StringEntry* end = table + count;
  const StringEntry* found = std::lower_bound(
      table, end, id, [](const StringEntry& entry, uint32_t key) { return entry.id < key; });
  return (found != end && found->id == id) ? found->text : nullptr;
}
