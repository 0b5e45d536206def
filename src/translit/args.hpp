// The conflict matrix of the public transliterate call.
//
// One call serves forward transliteration (lang, errors, replace_with,
// strict_iso9, gost7034, tones), context-aware transliteration (context) and
// reverse transliteration (target). This check refuses only contradictory
// combinations; each value on its own (an errors word, a language code, the
// two Cyrillic schemes together) is checked by the operation that uses it.
#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "text/error.hpp"

namespace kelrad::transliterate {

// The first conflict, in this order: lang with target; with context, target,
// tones, then errors "strict"; with target, the forward-only options that
// differ from their defaults ("replace" and "[?]" given explicitly count as
// not given), named in byte order.
std::expected<void, CoreError> validate_transliterate_args(std::optional<std::string_view> lang,
                                                           std::optional<std::string_view> target,
                                                           std::string_view errors, std::string_view replace_with,
                                                           bool strict_iso9, bool gost7034, bool tones,
                                                           bool context);

}  // namespace kelrad::transliterate
