#pragma once

// The version record of the programs built from this tree, in the form that
// GetFileVersionInfo (VersionInfo.h) finds in a file, zero-terminated. Its
// numbers come from the project version at build time. It is kept in every
// program that uses GetOwnVersionBlock or GetFileVersionInfo.
extern const char kVelgradeVersionRecord[];
