#pragma once

#include <cstddef>

// Overwrites length bytes at data with zeros in a way the compiler may not
// remove, for secrets about to go out of scope or be freed.
void SK_Wipe(void* data, size_t length);
