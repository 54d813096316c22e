#pragma once

#include <cstddef>

#include "resources/ResourceDirectory.h"

// Every text the system shows or sends, by number, sorted by number.
extern const StringEntry kStringTable[];
extern const size_t kStringTableSize;
