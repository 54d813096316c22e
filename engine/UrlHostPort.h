#pragma once

#include "common/GString.h"

// Takes the host and port from an absolute URL ("http://host:port/path"):
// the text after "//", cut before its first "/", split at a ":" into the host
// and a decimal port (80 when there is no ":" or nothing follows it). Returns
// false when the URL has no "//" or the port is not a number from 1 to 65535;
// host may be empty (the caller decides what an empty host means).
bool ParseUrlHostPort(const char* url, GString& host, int& port);
