// Percent-encoding of text for one URL component (RFC 3986).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelrad::percent {

// Which bytes stay as they are: "query" and "form" keep the unreserved set
// (form writes a space as "+"), "segment" adds the sub-delimiters and ":"
// and "@" allowed in a path segment, "path" adds "/" as well.
enum class UrlComponent : std::uint8_t { Path, Segment, Query, Form };

// Exactly "path", "segment", "query" or "form"; nothing for any other text.
std::optional<UrlComponent> parse_url_component(std::string_view text) noexcept;

// The message for a component `parse_url_component` refused.
std::string unknown_component_message(std::string_view got);

// ALPHA / DIGIT / "-" / "." / "_" / "~".
constexpr bool is_unreserved(std::uint8_t b) noexcept {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
           b == '_' || b == '~';
}

// pchar of RFC 3986 without the percent escapes: unreserved, sub-delims, ":"
// and "@".
constexpr bool is_pchar_segment(std::uint8_t b) noexcept {
    switch (b) {
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',': case ';':
        case '=': case ':': case '@':
            return true;
        default:
            return is_unreserved(b);
    }
}

constexpr bool is_pchar_path(std::uint8_t b) noexcept { return b == '/' || is_pchar_segment(b); }

// Writes the text into `out` (emptied first) with every byte outside the
// component's set written as "%" and two upper-case hexadecimal digits;
// characters beyond ASCII are thus encoded byte by byte of their UTF-8 form.
void percent_encode(std::string_view text, UrlComponent component, std::string& out);

}  // namespace kelrad::percent
