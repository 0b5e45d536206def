// Folding of typographic punctuation and Unicode spaces to ASCII.
#pragma once

#include <string>
#include <string_view>

namespace kelrad::punctuation {

// Dashes and the minus sign to "-", single quotes and primes to "'", double
// quotes and double primes to '"', triple primes to "'''", the ellipsis to
// "...", and the Unicode space characters to U+0020. Returns false and leaves
// `out` untouched when the text holds none of them.
bool fold_punctuation(std::string_view text, std::string& out);

}  // namespace kelrad::punctuation
