#include "presets/slug_regex.hpp"

#include <re2/re2.h>

#include <cstdio>
#include <span>

#include "util/string_hash.hpp"
#include "tables/regex_classes.hpp"
#include "text/lock.hpp"
#include "util/utf8.hpp"

namespace kelrad::slugify {
namespace {

using Program = std::shared_ptr<const re2::RE2>;

// ---- Perl classes spelled out ------------------------------------------------

void append_code_point(std::string& out, char32_t cp) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(cp));
    out.append(buf, static_cast<std::size_t>(n));
}

void append_range(std::string& out, char32_t first, char32_t last) {
    append_code_point(out, first);
    if (last != first) {
        out += '-';
        append_code_point(out, last);
    }
}

// The ranges as the inside of a bracket class.
std::string spell(std::span<const CodepointRange> ranges) {
    std::string out;
    for (const CodepointRange& r : ranges) append_range(out, r.first, r.last);
    return out;
}

// Every scalar value outside the ranges; surrogates are no characters, so
// no UTF-8 text holds them.
std::string spell_complement(std::span<const CodepointRange> ranges) {
    std::string out;
    auto add = [&](char32_t first, char32_t last) {
        if (first > last) return;
        if (first < 0xD800 && last > 0xDFFF) {
            append_range(out, first, 0xD7FF);
            append_range(out, 0xE000, last);
        } else if (last < 0xD800 || first > 0xDFFF) {
            append_range(out, first, last);
        } else {
            if (first < 0xD800) append_range(out, first, 0xD7FF);
            if (last > 0xDFFF) append_range(out, 0xE000, last);
        }
    };
    char32_t next = 0;
    for (const CodepointRange& r : ranges) {
        if (r.first > 0) add(next, r.first - 1);
        next = r.last + 1;
    }
    add(next, 0x10FFFF);
    return out;
}

// The inside of the bracket class that each Perl class escape stands for.
const std::string* perl_class(char letter) {
    static const std::string word = spell(tables::REGEX_WORD);
    static const std::string not_word = spell_complement(tables::REGEX_WORD);
    static const std::string digit = spell(tables::REGEX_DIGIT);
    static const std::string not_digit = spell_complement(tables::REGEX_DIGIT);
    static const std::string space = spell(tables::REGEX_SPACE);
    static const std::string not_space = spell_complement(tables::REGEX_SPACE);
    switch (letter) {
        case 'w': return &word;
        case 'W': return &not_word;
        case 'd': return &digit;
        case 'D': return &not_digit;
        case 's': return &space;
        case 'S': return &not_space;
        default: return nullptr;
    }
}

// ---- The check and rewrite ------------------------------------------------------

bool is_class_letter(char c) noexcept { return perl_class(c) != nullptr || c == 'p' || c == 'P'; }

// One pass over the pattern that follows RE2's reading of escapes, groups
// and brackets closely enough to know where each escape stands.
class PatternRewriter {
public:
    explicit PatternRewriter(std::string_view pattern) : p_(pattern) { out_.text.reserve(pattern.size()); }

    std::expected<RewrittenPattern, std::string> run() {
        while (i_ < p_.size() && !error_) {
            switch (p_[i_]) {
                case '\\': escape(false); break;
                case '(': open_group(); break;
                case ')':
                    if (depth_ > 0) --depth_;
                    out_.text += p_[i_++];
                    break;
                case '[': bracket_class(); break;
                default: out_.text += p_[i_++]; break;
            }
        }
        if (error_) return std::unexpected(std::move(*error_));
        return std::move(out_);
    }

private:
    bool at(std::string_view s) const noexcept { return p_.substr(i_).starts_with(s); }

    void refuse(std::string_view what, std::string_view fragment) {
        error_ = std::string(what) + ": " + std::string(fragment);
    }

    bool enter() {
        if (++depth_ <= MAX_REGEX_NESTING) return true;
        refuse("nesting limit exceeded: more than 250 nested groups and classes", p_.substr(i_, 1));
        return false;
    }

    void copy(std::size_t len) {
        out_.text.append(p_.substr(i_, len));
        i_ += len;
    }

    // Writes `text` for the caller's next `len` bytes, and notes where.
    void replace(std::size_t len, std::string_view text) {
        const std::size_t out_first = out_.text.size();
        out_.text += text;
        out_.stretches.push_back({out_first, out_.text.size(), i_, i_ + len});
        i_ += len;
    }

    // The length of the escape at `pos`: `\x{...}`, `\p{...}` and `\pL` are
    // one escape each.
    std::size_t escape_len(std::size_t pos) const {
        if (pos + 1 >= p_.size()) return 1;  // a trailing backslash: RE2's error
        const char c = p_[pos + 1];
        if ((c == 'p' || c == 'P' || c == 'x') && pos + 2 < p_.size() && p_[pos + 2] == '{') {
            const std::size_t close = p_.find('}', pos + 3);
            return close == std::string_view::npos ? p_.size() - pos : close + 1 - pos;
        }
        if ((c == 'p' || c == 'P') && pos + 2 < p_.size()) return 2 + utf8::decode(p_, pos + 2).len;
        return 1 + utf8::decode(p_, pos + 1).len;
    }

    std::size_t member_len(std::size_t pos) const {
        return p_[pos] == '\\' ? escape_len(pos) : utf8::decode(p_, pos).len;
    }

    bool is_class_escape(std::size_t pos) const {
        return p_[pos] == '\\' && pos + 1 < p_.size() && is_class_letter(p_[pos + 1]);
    }

    void escape(bool in_class) {
        const std::size_t len = escape_len(i_);
        const char c = len > 1 ? p_[i_ + 1] : '\0';
        if (const std::string* body = len == 2 ? perl_class(c) : nullptr) {
            if (in_class) {
                replace(2, *body);
            } else {
                replace(2, "[" + *body + "]");
            }
        } else if (c >= '1' && c <= '9') {
            refuse("backreferences are not supported", p_.substr(i_, 2));
        } else if (c == 'C') {
            refuse("matching a single byte is not supported", p_.substr(i_, 2));
        } else if (c == 'Q' && !in_class) {
            // A literal run up to \E: nothing in it is syntax.
            std::size_t end = p_.find("\\E", i_ + 2);
            end = end == std::string_view::npos ? p_.size() : end + 2;
            copy(end - i_);
        } else {
            copy(len);
        }
    }

    void open_group() {
        if (!enter()) return;
        if (at("(?=") || at("(?!") || at("(?<=") || at("(?<!")) {
            refuse("look-around, including look-ahead and look-behind, is not supported",
                   p_.substr(i_, at("(?<") ? 4 : 3));
        } else if (at("(?P=")) {
            refuse("backreferences are not supported", p_.substr(i_, 4));
        } else if (at("(?<")) {
            replace(3, "(?P<");  // RE2 knows named groups by their Python spelling only
        } else {
            copy(1);
        }
    }

    void bracket_class() {
        const std::size_t start = i_;
        if (!enter()) return;
        copy(1);
        if (at("^")) copy(1);
        if (at("]")) copy(1);  // a leading ] is itself
        while (i_ < p_.size() && !error_) {
            const char c = p_[i_];
            if (c == ']') {
                copy(1);
                --depth_;
                return;
            }
            if (c == '[') {
                std::size_t close = at("[:") ? p_.find(":]", i_ + 2) : std::string_view::npos;
                if (close == std::string_view::npos) {
                    refuse("nested character classes are not supported", p_.substr(i_, 1));
                } else {
                    copy(close + 2 - i_);  // [:alpha:], [:^alpha:]
                }
            } else if ((c == '&' || c == '-' || c == '~') && i_ + 1 < p_.size() && p_[i_ + 1] == c) {
                refuse("character class set operations are not supported", p_.substr(i_, 2));
            } else {
                class_member();
            }
        }
        // RE2 would quote the rewritten class; the caller wrote the original.
        if (!error_) refuse("missing ]", p_.substr(start));
    }

    // A character, an escape, or a range of two characters. A hyphen between
    // two members makes a range unless a ] or a second hyphen follows it.
    // Both ends of a range must be characters: RE2 would read `[!-\d]` as
    // the range from ! to the first character of the spelled-out class, and
    // `[\d-z]` as three members, neither of which anyone wrote, so a class
    // escape at either end is refused, as a Unicode-aware engine refuses it.
    // A [ that ends a range is the character [.
    void class_member() {
        const std::size_t first = i_;
        const std::size_t dash = first + member_len(first);
        const bool range = dash + 1 < p_.size() && p_[dash] == '-' && p_[dash + 1] != ']' && p_[dash + 1] != '-';
        if (range && (is_class_escape(first) || is_class_escape(dash + 1))) {
            const std::size_t last = dash + 1 + member_len(dash + 1);
            refuse("invalid character class range", p_.substr(first, last - first));
            return;
        }
        class_character();
        if (!range || error_) return;
        copy(1);
        class_character();
    }

    void class_character() {
        if (p_[i_] == '\\') {
            escape(true);
        } else {
            copy(utf8::decode(p_, i_).len);
        }
    }

    std::string_view p_;
    std::size_t i_ = 0;
    std::size_t depth_ = 0;
    RewrittenPattern out_;
    std::optional<std::string> error_;
};

// Where `pos` of the rewritten text falls in the caller's pattern; a position
// inside a stretch goes to that stretch's start (`is_end` false) or end.
std::size_t to_caller(std::span<const RewrittenPattern::Stretch> stretches, std::size_t pos, bool is_end) {
    std::size_t shift_from = 0, shift_to = 0;  // identity text maps pos - from + to
    for (const RewrittenPattern::Stretch& s : stretches) {
        if (is_end ? pos <= s.out_first : pos < s.out_first) break;
        if (pos < s.out_last || (is_end && pos == s.out_last)) return is_end ? s.in_last : s.in_first;
        shift_from = s.out_last;
        shift_to = s.in_last;
    }
    return pos - shift_from + shift_to;
}

// RE2's message, with the fragment it quotes put back in the caller's words.
// RE2 keeps a copy of the fragment, not its place, so the fragment is looked
// for in the rewritten text. A copy made of the caller's own bytes means
// the fragment already is in the caller's words (a spelled-out class may
// hold the same bytes by chance, so one is looked for first). Otherwise the
// leftmost copy is RE2's: RE2 stops at the first fault, and the same bytes
// earlier would have failed first.
std::string syntax_error_text(const re2::RE2& program, const RewrittenPattern& rewritten, std::string_view pattern) {
    const std::string& fragment = program.error_arg();
    const std::string& message = program.error();
    if (fragment.empty() || !message.ends_with(fragment)) return message;
    const std::string_view text = rewritten.text;
    const std::span<const RewrittenPattern::Stretch> stretches = rewritten.stretches;
    const std::size_t leftmost = text.find(fragment);
    if (leftmost == std::string_view::npos) return message;
    // Copies and stretches both move rightwards: one walk over each.
    std::size_t next = 0;  // the first stretch that ends after the copy starts
    for (std::size_t at = leftmost; at != std::string_view::npos; at = text.find(fragment, at + 1)) {
        while (next < stretches.size() && stretches[next].out_last <= at) ++next;
        if (next == stretches.size() || stretches[next].out_first >= at + fragment.size()) return message;
    }
    const std::size_t first = to_caller(stretches, leftmost, false);
    const std::size_t last = to_caller(stretches, leftmost + fragment.size(), true);
    std::string out(message, 0, message.size() - fragment.size());
    out += pattern.substr(first, last - first);
    return out;
}

// ---- Compiling and the cache ------------------------------------------------------

re2::RE2::Options compile_options() {
    re2::RE2::Options options;
    options.set_max_mem(static_cast<std::int64_t>(REGEX_SIZE_LIMIT));
    options.set_log_errors(false);  // RE2 would write them to standard error
    return options;
}

std::expected<Program, error::RegexError> compile(std::string_view pattern) {
    auto rewritten = rewrite_pattern(pattern);
    if (!rewritten) return std::unexpected(error::RegexError{error::RegexError::Kind::Syntax, rewritten.error(), 0});
    auto program = std::make_shared<const re2::RE2>(rewritten->text, compile_options());
    if (program->ok()) return program;
    if (program->error_code() == re2::RE2::ErrorPatternTooLarge) {
        return std::unexpected(error::RegexError{error::RegexError::Kind::TooLarge, {}, REGEX_SIZE_LIMIT});
    }
    return std::unexpected(
        error::RegexError{error::RegexError::Kind::Syntax, syntax_error_text(*program, *rewritten, pattern), 0});
}

using RegexMap = StringMap<Program>;

sync::RwLock<RegexMap>& regex_cache() {
    static auto& cache = *new sync::RwLock<RegexMap>("REGEX_CACHE");
    return cache;
}

}  // namespace

std::expected<RewrittenPattern, std::string> rewrite_pattern(std::string_view pattern) {
    return PatternRewriter(pattern).run();
}

bool SlugRegex::delete_matches(std::string_view text, std::string& out) const {
    const re2::StringPiece subject(text.data(), text.size());
    re2::StringPiece match;
    std::size_t pos = 0;  // the first byte not yet copied or deleted
    std::size_t from = 0; // where the next search starts
    bool deleted = false;
    while (from <= text.size() &&
           program_->Match(subject, from, text.size(), re2::RE2::UNANCHORED, &match, 1)) {
        const auto start = static_cast<std::size_t>(match.data() - text.data());
        const std::size_t end = start + match.size();
        if (start == end) {
            // An empty match deletes nothing; search again past the next
            // character (a match is never a part of one).
            from = start + 1;
            while (from < text.size() && !utf8::is_boundary(text, from)) ++from;
            continue;
        }
        if (!deleted) {
            out.clear();
            out.reserve(text.size());
            deleted = true;
        }
        out.append(text.substr(pos, start - pos));
        pos = from = end;
    }
    if (deleted) out.append(text.substr(pos));
    return deleted;
}

std::expected<std::optional<SlugRegex>, CoreError> resolve_regex(std::optional<std::string_view> pattern) {
    if (!pattern) return std::nullopt;
    auto& cache = regex_cache();
    {
        auto map = cache.read();
        if (auto it = map->find(*pattern); it != map->end()) return SlugRegex(it->second);
    }
    if (pattern->size() > MAX_REGEX_PATTERN_LEN) {
        return fail(error::RegexTooLong{pattern->size(), MAX_REGEX_PATTERN_LEN});
    }
    auto program = compile(*pattern);
    if (!program) return fail(error::RegexCompile{std::string(*pattern), std::move(program.error())});
    {
        auto map = cache.write();
        if (map->size() >= REGEX_CACHE_CAPACITY && !map->contains(*pattern)) map->clear();
        map->insert_or_assign(std::string(*pattern), *program);
    }
    return SlugRegex(std::move(*program));
}

std::size_t regex_cache_len() { return regex_cache().read()->size(); }

}  // namespace kelrad::slugify
