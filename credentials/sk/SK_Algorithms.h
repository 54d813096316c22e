#pragma once

#include "common/GString.h"
#include "credentials/sk/SK_Types.h"

// The toolkit's algorithm tables: which algorithms this program carries and
// how algorithm names map to identifiers.

// True for the cipher identifiers present in the program (0, 1, 10, 11) and
// the hash identifiers present (0, 3).
bool SK_IsCipherPresent(SKKEYTYPE type);
bool SK_IsHashPresent(SKHASHERTYPE type);

// Decodes an algorithm name, compared exactly (letter case counts). Every
// output pointer that is given is first set to 0; the two reserved outputs
// are only cleared. A name that stands for another ("CAST", "RC2", "0", "1",
// "2") is rewritten to the full name. A name whose algorithm is absent from
// the program decodes only where the table allows it without that algorithm.
// Returns kSkOk, or kSkUnknownAlgorithm for any other name.
SK_Status SK_DecodeName(GString& name, unsigned long* bits, SKKEYTYPE* keyType,
                        unsigned long* reserved1, unsigned long* reserved2, SKHASHERTYPE* hashType);

// The hash type the name decodes to; 0 when it decodes to none.
SKHASHERTYPE SK_HashTypeFromName(const GString& name);

// "MD2", "MD5" or "SHA-1" for the hash types 1, 2, 3; empty for any other.
GString SK_HashTypeName(SKHASHERTYPE type);
