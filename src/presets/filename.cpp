#include "presets/filename.hpp"

#include <algorithm>

#include "text/normalize.hpp"
#include "text/white_space.hpp"
#include "translit/langs.hpp"
#include "translit/transliterate.hpp"
#include "util/ascii.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::filename {

namespace {

constexpr std::string_view kEmptyName = "_";

// 0x80 in exactly the bytes of w equal to b (no borrow between bytes).
constexpr std::uint64_t exact_bytes_equal(std::uint64_t w, unsigned char b) noexcept {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    std::uint64_t x = w ^ (swar::kOnes * b);
    return ~(((x & kLow7) + kLow7) | x) & swar::kHighBits;
}

// The offset of the first "..", or npos. Words overlap by one byte, so every
// pair of neighbouring bytes lies inside one of them.
std::size_t find_dot_run(std::string_view s) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 7) {
        std::uint64_t dots = exact_bytes_equal(swar::load(s.data() + i), '.');
        std::uint64_t pairs = dots & (dots >> 8);
        if (pairs) return i + swar::first_marked(pairs);
    }
    for (; i + 1 < s.size(); ++i) {
        if (s[i] == '.' && s[i + 1] == '.') return i;
    }
    return std::string_view::npos;
}

bool is_dot_or_space(char c) noexcept { return c == '.' || c == ' '; }

// The ASCII part of the unsafe set as a 128-bit mask, built once per pass.
class UnsafeAscii {
public:
    explicit UnsafeAscii(std::span<const char32_t> illegal) noexcept {
        bits_[0] = (std::uint64_t{1} << 33) - 1;  // U+0000-U+0020
        bits_[1] = std::uint64_t{1} << 63;        // U+007F
        for (char32_t cp : illegal) {
            if (cp < 0x80) bits_[cp >> 6] |= std::uint64_t{1} << (cp & 63);
        }
    }
    bool contains(unsigned char c) const noexcept { return (bits_[c >> 6] >> (c & 63)) & 1; }

private:
    std::uint64_t bits_[2];
};

// Every character of `stem` that is unsafe is dropped; each run of them
// after a kept character becomes one separator. Safe stretches are copied
// whole.
void replace_unsafe(std::string_view stem, const FilenameOptions& options, const UnsafeAscii& ascii,
                    std::string& out) {
    bool last_was_separator = true;  // no separator for unsafe characters at the start
    std::size_t run = 0;             // start of the pending safe stretch
    for (std::size_t i = 0; i < stem.size();) {
        auto c = static_cast<unsigned char>(stem[i]);
        std::size_t len = 1;
        bool unsafe;
        if (c < 0x80) {
            unsafe = ascii.contains(c);
        } else {
            auto [cp, n] = utf8::decode(stem, i);
            len = n;
            unsafe = is_unsafe_char(cp, options.illegal);
        }
        if (unsafe) {
            if (i > run) {
                out.append(stem.substr(run, i - run));
                last_was_separator = false;
            }
            if (!last_was_separator) out.append(options.separator);
            last_was_separator = true;
            run = i + len;
        }
        i += len;
    }
    out.append(stem.substr(run));
}

// Trailing separators, then leading and trailing dots and spaces, until a
// round removes nothing (removing one may expose another).
void trim_stem(std::string& out, std::string_view separator) {
    std::size_t before;
    do {
        before = out.size();
        if (!separator.empty()) {
            while (out.ends_with(separator)) out.resize(out.size() - separator.size());
        }
        std::size_t lead = 0;
        while (lead < out.size() && is_dot_or_space(out[lead])) ++lead;
        out.erase(0, lead);
        while (!out.empty() && is_dot_or_space(out.back())) out.pop_back();
    } while (out.size() != before);
}

void trim_in_place(std::string& name) {
    std::string_view trimmed = trim_dots_and_spaces(name);
    if (trimmed.data() == kEmptyName.data()) {
        name.assign(kEmptyName);
        return;
    }
    std::size_t start = static_cast<std::size_t>(trimmed.data() - name.data());
    name.resize(start + trimmed.size());
    name.erase(0, start);
}

// The name up to its first ".", without trailing spaces: what Windows
// compares with the device names.
std::string_view reserved_base(std::string_view name) noexcept {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

std::expected<void, CoreError> check_separator(std::string_view separator, std::span<const char32_t> illegal) {
    if (separator == " ") return {};
    for (auto [cp, len] : utf8::chars(separator)) {
        bool printable = cp >= 0x21 && cp <= 0x7E;
        if (!printable || cp == U'/' || cp == U'\\' || std::ranges::find(illegal, cp) != illegal.end()) {
            return fail(error::InvalidFilenameSeparator{static_cast<std::uint32_t>(cp)});
        }
    }
    return {};
}

constexpr transliterate::TransliterateOptions ascii_options(std::optional<std::string_view> lang) {
    transliterate::TransliterateOptions o;
    o.lang = lang;
    o.errors = ErrorMode::Ignore;
    o.replace_with = "";
    return o;
}

// The "%" a transliteration produced becomes the separator, while a "%" of the
// text stays: the text is cut at its own "%", each piece transliterated alone
// and its "%" replaced, and the pieces joined with "%" again.
void transliterate_keeping_percent(std::string_view text, const transliterate::TransliterateOptions& options,
                                   std::string_view separator, std::string& out) {
    out.clear();
    std::string piece_out;
    for (std::size_t start = 0;;) {
        std::size_t end = std::min(text.find('%', start), text.size());
        std::string_view piece = text.substr(start, end - start);
        std::string_view ascii = transliterate::transliterate_engine(piece, options, piece_out) ? piece_out : piece;
        for (char c : ascii) {
            if (c == '%') {
                out.append(separator);
            } else {
                out.push_back(c);
            }
        }
        if (end == text.size()) break;
        out.push_back('%');
        start = end + 1;
    }
}

}  // namespace

std::expected<FilenamePlatform, CoreError> parse_platform(std::string_view text) {
    if (text == "universal") return FilenamePlatform::Universal;
    if (text == "windows") return FilenamePlatform::Windows;
    if (text == "posix") return FilenamePlatform::Posix;
    return fail(error::InvalidPlatform{std::string(text)});
}

bool is_unsafe_char(char32_t cp, std::span<const char32_t> illegal) noexcept {
    if (cp <= 0x20 || (cp >= 0x7F && cp <= 0x9F) || is_white_space(cp)) return true;
    return std::ranges::find(illegal, cp) != illegal.end();
}

bool is_reserved_device_name(std::string_view name) noexcept {
    return std::ranges::any_of(RESERVED_DEVICE_NAMES,
                               [&](std::string_view reserved) { return ascii::equal_ignoring_case(reserved, name); });
}

bool collapse_dot_runs(std::string_view text, std::string& out) {
    std::size_t run = find_dot_run(text);
    if (run == std::string_view::npos) return false;
    out.clear();
    out.reserve(text.size());
    std::size_t from = 0;
    while (run != std::string_view::npos) {
        out.append(text.substr(from, run + 1 - from));  // up to the run's first dot
        from = run + 2;
        while (from < text.size() && text[from] == '.') ++from;
        run = find_dot_run(text.substr(from));
        if (run != std::string_view::npos) run += from;
    }
    out.append(text.substr(from));
    return true;
}

std::string_view trim_dots_and_spaces(std::string_view name) noexcept {
    while (!name.empty() && is_dot_or_space(name.front())) name.remove_prefix(1);
    while (!name.empty() && is_dot_or_space(name.back())) name.remove_suffix(1);
    return name.empty() ? kEmptyName : name;
}

void truncate_at_char_boundary(std::string& name, std::optional<std::string_view> extension,
                               std::uint64_t max_length) {
    if (max_length == 0 || name.size() <= max_length) return;
    if (!extension || max_length <= extension->size()) {
        name.resize(utf8::truncate_at_boundary(name, max_length).size());
        return;
    }
    name.resize(utf8::truncate_at_boundary(name, max_length - extension->size()).size());
    name.append(*extension);
}

void sanitize(std::string_view text, const FilenameOptions& options, std::string& out) {
    std::string collapsed;
    if (collapse_dot_runs(text, collapsed)) text = collapsed;
    std::string_view name = text;
    while (!name.empty() && is_dot_or_space(name.back())) name.remove_suffix(1);

    // A dot at position 0 ('.bashrc') starts no extension.
    std::string_view stem = name, extension;
    bool has_extension = false;
    if (options.preserve_extension) {
        std::size_t dot = name.rfind('.');
        if (dot != std::string_view::npos && dot > 0) {
            stem = name.substr(0, dot);
            extension = name.substr(dot);
            has_extension = true;
        }
    }

    const UnsafeAscii ascii(options.illegal);
    out.clear();
    out.reserve(text.size() + 8);
    replace_unsafe(stem, options, ascii, out);
    trim_stem(out, options.separator);

    // The extension loses its unsafe characters without a separator.
    std::string ext_out;
    if (has_extension) {
        ext_out.push_back('.');
        for (auto [cp, len] : utf8::chars(extension.substr(1))) {
            if (!is_unsafe_char(cp, options.illegal)) utf8::append(ext_out, cp);
        }
    }
    if (options.check_reserved && is_reserved_device_name(out)) out.insert(0, "_");
    out.append(ext_out);
    truncate_at_char_boundary(out, has_extension ? std::optional<std::string_view>(ext_out) : std::nullopt,
                              options.max_length);
    trim_in_place(out);

    // 'CON.tar.gz' is reserved through its base, which the stem test above
    // ('CON.tar') does not see.
    if (options.check_reserved && is_reserved_device_name(reserved_base(out))) {
        out.insert(0, "_");
        bool keep_extension = has_extension && ext_out.size() > 1 && out.ends_with(ext_out);
        truncate_at_char_boundary(out, keep_extension ? std::optional<std::string_view>(ext_out) : std::nullopt,
                                  options.max_length);
        trim_in_place(out);
    }
}

std::expected<std::string, CoreError> sanitize_filename(std::string_view text, std::string_view separator,
                                                        std::int64_t max_length, std::string_view platform,
                                                        std::optional<std::string_view> lang,
                                                        bool preserve_extension) {
    if (max_length < 0) return fail(error::NegativeMaxLength{max_length});
    if (auto r = transliterate::resolve_lang(lang); !r) return std::unexpected(std::move(r.error()));
    auto parsed = parse_platform(platform);
    if (!parsed) return std::unexpected(std::move(parsed.error()));
    const bool posix = *parsed == FilenamePlatform::Posix;
    const FilenameOptions options{
        .separator = separator,
        .illegal = posix ? std::span<const char32_t>(ILLEGAL_CHARS_POSIX) : ILLEGAL_CHARS_UNIVERSAL,
        .max_length = static_cast<std::uint64_t>(max_length),
        .check_reserved = !posix,
        .preserve_extension = preserve_extension,
    };
    if (auto r = check_separator(separator, options.illegal); !r) return std::unexpected(std::move(r.error()));

    std::string nfc, collapsed, ascii;
    std::string_view t = text;
    if (normalize::normalize_cow(t, normalize::Form::NFC, nfc)) t = nfc;
    if (collapse_dot_runs(t, collapsed)) t = collapsed;
    const auto translit = ascii_options(lang);
    std::string_view u = transliterate::transliterate_engine(t, translit, ascii) ? std::string_view(ascii) : t;
    // Byte counts; std::count over chars vectorizes.
    if (u.data() != t.data() && std::ranges::count(u, '%') != std::ranges::count(t, '%')) {
        std::string rebuilt;
        transliterate_keeping_percent(t, translit, separator, rebuilt);
        ascii = std::move(rebuilt);
        u = ascii;
    }

    std::string result, next;
    sanitize(u, options, result);
    for (std::size_t pass = 1; pass < MAX_SANITIZE_PASSES; ++pass) {
        sanitize(result, options, next);
        if (next == result) break;
        std::swap(result, next);
    }
    return result;
}

}  // namespace kelrad::filename
