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

// One pass over the pattern that follows RE2's reading of escapes, groups
// and brackets closely enough to know where each escape stands.
class PatternRewriter {
public:
    explicit PatternRewriter(std::string_view pattern) : p_(pattern) { out_.reserve(pattern.size()); }

    std::expected<std::string, std::string> run() {
        while (i_ < p_.size() && !error_) {
            switch (p_[i_]) {
                case '\\': escape(false); break;
                case '(': open_group(); break;
                case ')':
                    if (depth_ > 0) --depth_;
                    out_ += p_[i_++];
                    break;
                case '[': bracket_class(); break;
                default: out_ += p_[i_++]; break;
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

    void copy_through(char close) {
        std::size_t end = p_.find(close, i_);
        end = end == std::string_view::npos ? p_.size() : end + 1;
        out_.append(p_.substr(i_, end - i_));
        i_ = end;
    }

    void escape(bool in_class) {
        if (i_ + 1 >= p_.size()) {  // a trailing backslash: RE2's error
            out_ += p_[i_++];
            return;
        }
        const char c = p_[i_ + 1];
        if (const std::string* body = perl_class(c)) {
            if (!in_class) out_ += '[';
            out_ += *body;
            if (!in_class) out_ += ']';
            i_ += 2;
        } else if (c >= '1' && c <= '9') {
            refuse("backreferences are not supported", p_.substr(i_, 2));
        } else if (c == 'C') {
            refuse("matching a single byte is not supported", p_.substr(i_, 2));
        } else if (c == 'Q' && !in_class) {
            // A literal run up to \E: nothing in it is syntax.
            std::size_t end = p_.find("\\E", i_ + 2);
            end = end == std::string_view::npos ? p_.size() : end + 2;
            out_.append(p_.substr(i_, end - i_));
            i_ = end;
        } else if ((c == 'p' || c == 'P' || c == 'x') && i_ + 2 < p_.size() && p_[i_ + 2] == '{') {
            copy_through('}');
        } else {
            std::size_t len = 1 + utf8::decode(p_, i_ + 1).len;
            out_.append(p_.substr(i_, len));
            i_ += len;
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
            out_ += "(?P<";  // RE2 knows named groups by their Python spelling only
            i_ += 3;
        } else {
            out_ += p_[i_++];
        }
    }

    void bracket_class() {
        const std::size_t start = i_;
        if (!enter()) return;
        out_ += p_[i_++];
        if (i_ < p_.size() && p_[i_] == '^') out_ += p_[i_++];
        if (i_ < p_.size() && p_[i_] == ']') out_ += p_[i_++];  // a leading ] is itself
        while (i_ < p_.size() && !error_) {
            const char c = p_[i_];
            if (c == ']') {
                out_ += p_[i_++];
                --depth_;
                return;
            }
            if (c == '\\') {
                escape(true);
            } else if (c == '[') {
                std::size_t close = at("[:") ? p_.find(":]", i_ + 2) : std::string_view::npos;
                if (close == std::string_view::npos) {
                    refuse("nested character classes are not supported", p_.substr(i_, 1));
                } else {
                    out_.append(p_.substr(i_, close + 2 - i_));  // [:alpha:], [:^alpha:]
                    i_ = close + 2;
                }
            } else if ((c == '&' || c == '-' || c == '~') && i_ + 1 < p_.size() && p_[i_ + 1] == c) {
                refuse("character class set operations are not supported", p_.substr(i_, 2));
            } else {
                out_ += p_[i_++];
            }
        }
        // RE2 would quote the rewritten class; the caller wrote the original.
        if (!error_) refuse("missing ]", p_.substr(start));
    }

    std::string_view p_;
    std::size_t i_ = 0;
    std::size_t depth_ = 0;
    std::string out_;
    std::optional<std::string> error_;
};

// ---- Compiling and the cache ------------------------------------------------------

re2::RE2::Options compile_options() {
    re2::RE2::Options options;
    options.set_max_mem(static_cast<std::int64_t>(REGEX_SIZE_LIMIT));
    options.set_log_errors(false);  // RE2 would write them to standard error
    return options;
}

error::RegexError program_error(const re2::RE2& program) {
    if (program.error_code() == re2::RE2::ErrorPatternTooLarge) {
        return {error::RegexError::Kind::TooLarge, {}, REGEX_SIZE_LIMIT};
    }
    return {error::RegexError::Kind::Syntax, program.error(), 0};
}

std::expected<Program, error::RegexError> compile(std::string_view pattern) {
    auto rewritten = rewrite_pattern(pattern);
    if (!rewritten) return std::unexpected(error::RegexError{error::RegexError::Kind::Syntax, rewritten.error(), 0});
    const re2::RE2::Options options = compile_options();
    auto program = std::make_shared<const re2::RE2>(*rewritten, options);
    if (program->ok()) return program;
    error::RegexError failure = program_error(*program);
    if (failure.kind == error::RegexError::Kind::Syntax && *rewritten != pattern) {
        // RE2 quotes the fragment it failed on, which may hold a spelled-out
        // class; the caller's own pattern fails at the same place, in the
        // caller's words.
        re2::RE2 original(std::string(pattern), options);
        if (!original.ok() && original.error_code() != re2::RE2::ErrorPatternTooLarge) {
            failure.text = original.error();
        }
    }
    return std::unexpected(std::move(failure));
}

using RegexMap = StringMap<Program>;

sync::RwLock<RegexMap>& regex_cache() {
    static auto& cache = *new sync::RwLock<RegexMap>("REGEX_CACHE");
    return cache;
}

}  // namespace

std::expected<std::string, std::string> rewrite_pattern(std::string_view pattern) {
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
