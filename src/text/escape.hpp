// Escaping for output contexts: HTML text and attributes, and log lines.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "text/error.hpp"

namespace kelrad::escape {

// Replaces & < > " ' with &amp; &lt; &gt; &quot; &#x27;. Returns false and
// leaves `out` untouched when the text holds none of them.
bool escape_html(std::string_view text, std::string& out);

// Whether a log line may not carry `cp` as it stands: the C0 controls (TAB
// unless `keep_tab`), DEL, the C1 controls, and the line and paragraph
// separators U+2028 and U+2029, all of which can split or forge a line.
constexpr bool is_log_neutralized(char32_t cp, bool keep_tab) noexcept {
    return (cp <= 0x1F && !(keep_tab && cp == 0x09)) || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 ||
           cp == 0x2029;
}

// Replaces every neutralized character with `replacement` (an empty one
// deletes). A replacement that itself holds a neutralized character is
// refused with `InvalidLogReplacement` before the text is looked at. Returns
// false and leaves `out` untouched when the text holds none of them.
std::expected<bool, CoreError> strip_log_injection(std::string_view text, std::string_view replacement,
                                                   bool keep_tab, std::string& out);

}  // namespace kelrad::escape
