#pragma once

#include <cstdint>

// The few Win32 scalar types and constants that the stand-ins' signatures use.
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using UINT = unsigned int;
using BOOL = int;
using LONG = int32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr int MAX_PATH = 260;

// A loaded library (see platform/DynamicLibrary.h); null means none.
struct ModuleHandle;
using HMODULE = ModuleHandle*;
using HINSTANCE = HMODULE;
