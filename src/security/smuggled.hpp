// Smuggled payloads: messages hidden in characters that render as nothing.
//
// Four carriers are decoded: Unicode tag characters standing for printable
// ASCII (U+E0020-E007E, an optional CANCEL TAG after the run), runs of
// variation selectors used as bytes (VS1-VS16 are 0-15, VS17-VS256 16-255),
// U+200B and U+200C used as the bits 0 and 1 (U+200D, U+2060 and U+FEFF in
// between carry no bit), and, in visible form, runs of percent escapes. The
// emoji flag tag sequences of England, Scotland and Wales are flags, never
// payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrad::smuggled {

enum class SmuggledScheme : std::uint8_t { TagAscii, VariationBytes, ZeroWidthBinary, PercentEscape };

// "tag_ascii", "variation_bytes", "zero_width_binary", "percent_escape".
std::string_view scheme_name(SmuggledScheme scheme) noexcept;

// One decoded run. `start` and `end` are the byte offsets of its first
// consumed character and just past its last one; `units` counts the
// characters it consumed (separators and a trailing CANCEL TAG included).
struct SmuggledPayload {
    std::string data;
    std::optional<std::string> text;  // present when `data` is printable UTF-8
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t units = 0;
    SmuggledScheme scheme = SmuggledScheme::TagAscii;
};

// Every run of the text in order of appearance, in one linear pass; runs never
// overlap. Variation-selector runs need two selectors, percent runs two
// escapes, zero-width runs eight bits; shorter runs are not decoded. A run of
// more than two selectors that starts with VS15 or VS16 right after an
// ordinary character leaves that first selector to the character (its
// presentation selector) when the rest decodes to printable text.
std::vector<SmuggledPayload> decode_smuggled(std::string_view text, bool include_percent_escape);

// The bytes as text when they are non-empty, valid UTF-8 and free of
// controls, direction controls, invisible and format characters, variation
// selectors, tags and noncharacters; nothing otherwise.
std::optional<std::string> printable_text(std::string_view bytes);

}  // namespace kelrad::smuggled
