// Language codes: the built-in list, registered languages and resolution.
//
// A `lang` argument is only ever checked, never rewritten: callers pass the
// accepted string on unchanged and the engine selects its tables by it.
#pragma once

#include <array>
#include <atomic>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/error.hpp"

namespace kelrad::transliterate {

// The 83 built-in codes, sorted by byte order (binary-searched).
extern const std::array<std::string_view, 83> BUILTIN_LANGS;

// The most codes LANG_TABLES may hold; replacing a registered code's table is
// always allowed.
inline constexpr std::size_t MAX_REGISTERED_LANGS = 100;

// A built-in code, one of the aliases "nb", "nn", "da", or a registered code.
bool is_known_lang(std::string_view code);

// Accepts no language, "auto" and every known code; anything else is
// `UnknownLang` with the did-you-mean suggestion of the closest known code.
std::expected<void, CoreError> resolve_lang(std::optional<std::string_view> lang);

// The built-in codes plus every registered code that is not built in, sorted.
std::vector<std::string> list_langs();

bool is_registered_lang(std::string_view code);

// Registers (or replaces whole) the table of `code`: each key must be exactly
// one character. Runs under the registration guard.
std::expected<void, CoreError> register_lang(std::string_view code,
                                             std::span<const std::pair<std::string, std::string>> mappings);

// LANG_TABLES_ACTIVE: true once any language has been registered. Read first,
// without a lock, so the engine pays nothing while nothing is registered.
bool lang_tables_active() noexcept;

// The registered value of `c` in the table of `lang`, copied out under the
// read lock. A missing code or character, or an empty table, is a miss.
std::optional<std::string> registered_value(std::string_view lang, char32_t c);

}  // namespace kelrad::transliterate
