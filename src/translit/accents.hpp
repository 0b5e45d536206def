// Accent stripping: combining marks removed, letters kept, the result in NFC.
//
// A negation overlay (U+0338 or U+20D2 on a symbol) is not an accent: "≠"
// stays "≠", since dropping its overlay would turn it into "=".
#pragma once

#include <string>
#include <string_view>

namespace kelrad::transliterate {

// `out` is cleared, then receives the text without its combining marks
// (General_Category M over the canonical decomposition), in NFC. The first
// negation overlay on a symbol base survives; compatibility characters
// (U+FB01) are left alone. Pure-ASCII text is copied as is.
void strip_accents_into(std::string_view text, std::string& out);

}  // namespace kelrad::transliterate
