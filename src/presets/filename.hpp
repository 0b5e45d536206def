// File-name sanitising: arbitrary text to one safe file name.
//
// `sanitize_filename` validates the options, takes the NFC form of the text,
// collapses dot runs, transliterates to ASCII (registered languages apply
// through `lang`; the global replacements do not) and then runs `sanitize`
// until a pass changes nothing, at most MAX_SANITIZE_PASSES times. One pass
// replaces unsafe characters, keeps the extension, trims dots and spaces,
// defuses the reserved device names of Windows and cuts the name to a byte
// length on a character boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/error.hpp"

namespace kelrad::filename {

// "universal" and "windows" behave alike; "posix" refuses only "/" and NUL
// and knows no reserved names.
enum class FilenamePlatform : std::uint8_t { Universal, Windows, Posix };

// Exactly "universal", "windows" or "posix"; anything else is `InvalidPlatform`.
std::expected<FilenamePlatform, CoreError> parse_platform(std::string_view text);

inline constexpr std::array<char32_t, 10> ILLEGAL_CHARS_UNIVERSAL = {U'/', U'\\', U':', U'*', U'?',
                                                                     U'"', U'<',  U'>', U'|', U'\0'};
inline constexpr std::array<char32_t, 2> ILLEGAL_CHARS_POSIX = {U'/', U'\0'};

// The DOS device names Windows reserves in every directory, with or without
// an extension; matched ASCII case-insensitively.
inline constexpr std::array<std::string_view, 27> RESERVED_DEVICE_NAMES = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM0", "COM1", "COM2", "COM3", "COM4",   "COM5",   "COM6",    "COM7",
    "COM8", "COM9", "LPT0", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",   "LPT7",   "LPT8",    "LPT9",
    "CLOCK$", "KEYBD$", "SCREEN$",
};

inline constexpr std::size_t MAX_SANITIZE_PASSES = 8;

struct FilenameOptions {
    std::string_view separator;       // replaces each run of unsafe characters in the stem
    std::span<const char32_t> illegal;  // the platform's illegal characters
    std::uint64_t max_length = 0;     // in UTF-8 bytes; 0: no limit
    bool check_reserved = true;       // false on posix
    bool preserve_extension = true;
};

// An illegal character of the platform, a C0 control or the space, DEL or a
// C1 control, or one of the other Unicode White_Space characters.
bool is_unsafe_char(char32_t cp, std::span<const char32_t> illegal) noexcept;

// One of RESERVED_DEVICE_NAMES, ignoring the case of ASCII letters only.
bool is_reserved_device_name(std::string_view name) noexcept;

// Every run of two or more "." becomes one. Returns false, leaving `out`
// untouched, when the text holds no "..".
bool collapse_dot_runs(std::string_view text, std::string& out);

// Leading and trailing "." and " " removed; an empty result is "_".
std::string_view trim_dots_and_spaces(std::string_view name) noexcept;

// Cuts `name` to at most max_length bytes (0: no limit) on a character
// boundary. With an extension that `name` ends with and that is shorter than
// max_length, the cut falls in the stem and the extension is kept whole.
void truncate_at_char_boundary(std::string& name, std::optional<std::string_view> extension,
                               std::uint64_t max_length);

// One pass: `out` is emptied and receives the sanitized name. Never fails.
void sanitize(std::string_view text, const FilenameOptions& options, std::string& out);

// The whole call. Checks, in this order: max_length not negative
// (`NegativeMaxLength`), lang (`UnknownLang`), platform (`InvalidPlatform`),
// separator (`InvalidFilenameSeparator`: exactly " ", or printable ASCII
// other than "/", "\" and the platform's illegal characters, the empty
// string included); after them the call cannot fail.
std::expected<std::string, CoreError> sanitize_filename(std::string_view text, std::string_view separator,
                                                        std::int64_t max_length, std::string_view platform,
                                                        std::optional<std::string_view> lang,
                                                        bool preserve_extension);

}  // namespace kelrad::filename
