#pragma once

// Marks a function as exported from the resource library; everything else in
// the library stays hidden.
#define VELGRES_EXPORT __attribute__((visibility("default")))
