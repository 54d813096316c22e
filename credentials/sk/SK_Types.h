#pragma once

#include <cstdint>

#include "common/BinData.h"

// Identifiers and status codes shared by the toolkit's classes and exports.

// A toolkit status: 0 for success, negative for an error.
using SK_Status = int16_t;
// Key (cipher) type, hash type and algorithm class identifiers.
using SKKEYTYPE = int;
using SKHASHERTYPE = int;
using SKALGCLASS = int;

constexpr SK_Status kSkOk = 0;
constexpr SK_Status kSkNoMemory = kStatusNoMemory;
constexpr SK_Status kSkUnknownAlgorithm = -136;
constexpr SK_Status kSkAlreadyStarted = -163;
constexpr SK_Status kSkUnknownAlgorithmClass = -184;
constexpr SK_Status kSkKeyTooShort = -198;
// Errors of this implementation that the fixed codes above do not cover.
constexpr SK_Status kSkBadArgument = -170;
constexpr SK_Status kSkBadLength = -171;    // ciphertext not a whole number of blocks
constexpr SK_Status kSkBadPadding = -172;   // final block padding malformed
constexpr SK_Status kSkNoKey = -173;        // cipher used before a key was installed
constexpr SK_Status kSkWrongState = -174;   // update or finish without a start
constexpr SK_Status kSkRandomFailure = -175;
constexpr SK_Status kSkBadEncoding = -176;  // Base64 input that does not decode

constexpr SKKEYTYPE kSkKeyNone = 0;
constexpr SKKEYTYPE kSkKeyCast = 1;
constexpr SKKEYTYPE kSkKeyDes = 2;
constexpr SKKEYTYPE kSkKeyCastExport = 9;
constexpr SKKEYTYPE kSkKeyCast128 = 11;
constexpr SKKEYTYPE kSkKeyTripleDes = 12;
constexpr SKKEYTYPE kSkKeyRc2 = 13;

constexpr SKHASHERTYPE kSkHashNone = 0;
constexpr SKHASHERTYPE kSkHashMd2 = 1;
constexpr SKHASHERTYPE kSkHashMd5 = 2;
constexpr SKHASHERTYPE kSkHashSha1 = 3;

constexpr SKALGCLASS kSkClassSymmetric = 1;
constexpr SKALGCLASS kSkClassHash = 4;
