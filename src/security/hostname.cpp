#include "security/hostname.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "security/confusables.hpp"
#include "security/contraction.hpp"
#include "security/idna.hpp"
#include "tables/confusables.hpp"
#include "tables/idna.hpp"
#include "text/normalize.hpp"
#include "util/panic.hpp"
#include "util/ranges.hpp"
#include "util/utf8.hpp"

namespace kelrad::hostname {
namespace {

using scripts::Script;

constexpr Script kLatin = "Latin";

// Whether the NFKC of the host can start with "[" and end with "]". It does
// exactly when the compatibility decomposition of the host's first character
// starts with "[" and that of its last character ends with "]": both are
// starters that compose with nothing, so normalization keeps them in place.
bool may_be_bracketed(std::string_view host) noexcept {
    if (host.empty()) return false;
    normalize::Decomposition first = normalize::compatibility_decomposition(utf8::decode(host, 0).cp);
    normalize::Decomposition last = normalize::compatibility_decomposition(utf8::decode_before(host, host.size()).cp);
    return first[0] == U'[' && last[last.size() - 1] == U']';
}

// A bracketed IPv6 literal, optionally with a zone ("[fe80::1%25]"), told
// apart by its characters alone: hexadecimal digits, ":", "." (an embedded
// IPv4 address) and "%"; at most 7 colons before the zone, one "%".
bool is_bracketed_ipv6_literal(std::string_view text) noexcept {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
    std::string_view inner = text.substr(1, text.size() - 2);
    if (inner.find(':') == std::string_view::npos) return false;
    if (std::ranges::count(inner.substr(0, inner.find('%')), ':') > 7) return false;
    if (std::ranges::count(inner, '%') > 1) return false;
    return std::ranges::all_of(inner, [](char c) {
        return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') || c == ':' || c == '.' ||
               c == '%';
    });
}

struct Separator {
    std::size_t start;  // the text's length when there is none
    std::size_t len;    // 0 when there is none
};

// The first label separator at or after `from`: "." or one of the
// ideographic, fullwidth and halfwidth full stops U+3002 (E3 80 82), U+FF0E
// (EF BC 8E) and U+FF61 (EF BD A1).
Separator next_separator(std::string_view text, std::size_t from) noexcept {
    for (std::size_t i = from; i < text.size(); ++i) {
        switch (static_cast<unsigned char>(text[i])) {
            case '.':
                return {i, 1};
            case 0xE3:
            case 0xEF: {
                std::string_view rest = text.substr(i, 3);
                if (rest == "\u3002" || rest == "\uFF0E" || rest == "\uFF61") return {i, 3};
                break;
            }
            default:
                break;
        }
    }
    return {text.size(), 0};
}

std::size_t count_labels(std::string_view host) noexcept {
    std::size_t count = 1;
    for (Separator sep = next_separator(host, 0); sep.len != 0; sep = next_separator(host, sep.start + sep.len)) {
        ++count;
    }
    return count;
}

bool is_lower_ascii_letters(std::string_view s) noexcept {
    return std::ranges::all_of(s, [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whether some character of the label, normalized alone, is changed by NFKC.
// A character is unchanged exactly when its NFKC quick check is not No (Yes
// or Maybe: it has no compatibility or canonical decomposition that
// composition would not undo); ASCII never changes.
bool has_compatibility_character(std::string_view label) noexcept {
    for (std::size_t i = utf8::ascii_prefix_len(label); i < label.size();) {
        auto [cp, len] = utf8::decode(label, i);
        if (normalize::quick_check(cp, normalize::Form::NFKC) == normalize::QuickCheck::No) return true;
        i += len;
    }
    return false;
}

// False when no character of the text lies in a chunk of code points holding
// right-to-left characters (Bidi_Class R, AL or AN): no bidi conflict is
// possible then.
bool may_hold_right_to_left(std::string_view text) noexcept {
    for (std::size_t i = utf8::ascii_prefix_len(text); i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (tables::in_chunk_bitmap(tables::IDNA_RTL_CHUNKS, cp)) return true;
        i += len;
    }
    return false;
}

// Removes, in place, the characters for which `drop` holds; true when any went.
template <class Drop>
bool remove_chars(std::string& text, Drop drop) {
    std::size_t read = utf8::ascii_prefix_len(text);  // no ASCII character is dropped
    std::size_t write = read;
    while (read < text.size()) {
        auto [cp, len] = utf8::decode(text, read);
        if (!drop(cp)) {
            std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(read), len,
                        text.begin() + static_cast<std::ptrdiff_t>(write));
            write += len;
        }
        read += len;
    }
    bool removed = write != text.size();
    text.resize(write);
    return removed;
}

// The Latin fold of the confusables engine (target "latin", digit policy
// "numeric"), or the text itself when nothing folds. The fixed target and
// policy always validate. An ASCII text is answered from the Latin map's
// pre-filter, which is exact below U+10000: without a key among its bytes the
// fold copies it unchanged.
std::string_view fold_to_latin(std::string_view text, std::string& buffer) {
    auto is_key = [](char c) { return tables::CONFUSABLES_LATIN.may_hold(static_cast<unsigned char>(c)); };
    if (utf8::is_ascii(text) && std::ranges::none_of(text, is_key)) return text;
    auto folded = confusables::normalize_confusables(text, "latin", "numeric", buffer);
    KELRAD_ASSERT(folded, "the latin target and numeric policy are valid");
    return *folded ? std::string_view(buffer) : text;
}

bool has_latin_confusable(std::string_view text) {
    auto found = confusables::is_confusable(text, "latin");
    KELRAD_ASSERT(found, "the latin target is valid");
    return *found;
}

// Scratch buffers of the label loop, reused from label to label.
struct LabelBuffers {
    std::string stripped;
    std::string unicode;
    std::string nfkc;
    std::string label_folded;
    std::string run_folded;
    std::string without_controls;
};

bool holds_invisible(std::string_view text) noexcept {
    for (std::size_t i = utf8::ascii_prefix_len(text); i < text.size();) {
        auto [cp, len] = utf8::decode(text, i);
        if (is_invisible(cp)) return true;
        i += len;
    }
    return false;
}

// The processed form of a label: without invisible characters, through UTS #46
// processing, in NFKC, and without the invisible characters those brought.
// `idna_error` is set when UTS #46 processing reports an error.
std::string_view process_label(std::string_view label, LabelBuffers& buf, bool& has_invisible, bool& idna_error) {
    // Nothing below changes plain lower-case letters: they are valid, mapped
    // to themselves, NFKC-stable and visible.
    if (is_lower_ascii_letters(label)) return label;
    std::string_view visible = label;
    if (holds_invisible(label)) {
        buf.stripped.assign(label);
        strip_invisible(buf.stripped, has_invisible);
        visible = buf.stripped;
    }
    if (is_lower_ascii_letters(visible)) {
        buf.unicode.assign(visible);
    } else {
        idna_error = idna::to_unicode(visible, buf.unicode) || idna_error;
    }
    std::string* p = &buf.unicode;
    if (normalize::normalize_cow(*p, normalize::Form::NFKC, buf.nfkc)) p = &buf.nfkc;
    strip_invisible(*p, has_invisible);
    return *p;
}

// Whether the scripts of a text are exactly ["Latin"]: a Latin letter, and
// no script but Common and Inherited besides.
bool is_latin_only(std::string_view text) noexcept {
    bool latin = false;
    for (auto [cp, len] : utf8::chars(text)) {
        Script s = scripts::effective_script(cp);
        if (s == kLatin) {
            latin = true;
        } else if (s != "Common" && s != "Inherited") {
            return false;
        }
    }
    return latin;
}

// Appends the distinct scripts of the text that are not yet in `list` from
// `start` on, in order of first appearance, "Common" and "Inherited" left
// out: detect_scripts without a list of its own.
void append_scripts(std::string_view text, std::vector<Script>& list, std::size_t start) {
    if (utf8::is_ascii(text)) {
        // Only letters have a script in ASCII.
        if (std::ranges::any_of(text, [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; })) {
            list.push_back(kLatin);
        }
        return;
    }
    for (auto [cp, len] : utf8::chars(text)) {
        Script s = scripts::effective_script(cp);
        if (s == "Common" || s == "Inherited") continue;
        if (std::find(list.begin() + static_cast<std::ptrdiff_t>(start), list.end(), s) == list.end()) {
            list.push_back(s);
        }
    }
}

// Records the scripts, the whole-script test, the mixed-script rule and the
// confusable test of the processed label `p`. Returns its Latin fold when
// the whole-script test needed one (the label is in one script, not Latin).
std::optional<std::string_view> examine_label(std::string_view p, HostnameAnalysis& r, std::string& buffer) {
    std::size_t start = r.label_script_list.size();
    append_scripts(p, r.label_script_list, start);
    std::span<const Script> label_scripts = std::span(r.label_script_list).subspan(start);
    for (Script s : label_scripts) {
        if (std::ranges::find(r.scripts, s) == r.scripts.end()) r.scripts.push_back(s);
    }

    std::optional<std::string_view> latin;
    if (label_scripts.size() == 1 && label_scripts[0] != kLatin) latin = fold_to_latin(p, buffer);
    // A fold that left the label as it was met no key of the Latin map, and
    // the label keeps its one non-Latin script. ASCII holds no confusable
    // character: the Latin map's ASCII keys (U+0022, U+0060, U+007C) are
    // printable, which the confusable test skips.
    bool unchanged = latin && latin->data() == p.data();
    if (!r.has_confusables && !unchanged && !utf8::is_ascii(p)) r.has_confusables = has_latin_confusable(p);
    r.labels.push_back({static_cast<std::uint32_t>(r.label_script_list.size()),
                        latin && !unchanged && is_latin_only(*latin)});

    scripts::MixedScriptRule rule;
    for (Script s : label_scripts) r.mixed_script = rule.add(s) || r.mixed_script;
    return latin;
}

// Appends the Latin fold of `text` without its bidi controls to `out`.
void append_canonical(std::string_view text, std::string& out, LabelBuffers& buf) {
    if (scripts::has_bidi_control(text)) {
        buf.without_controls.assign(text);
        remove_chars(buf.without_controls, scripts::is_bidi_control);
        text = buf.without_controls;
    }
    out.append(fold_to_latin(text, buf.run_folded));
}

}  // namespace

bool is_invisible(char32_t c) noexcept {
    return c >= 0xAD && tables::in_chunk_bitmap(tables::HOSTNAME_INVISIBLE_CHUNKS, c) &&
           find_range(tables::HOSTNAME_INVISIBLE, c) != nullptr;
}

void strip_invisible(std::string& text, bool& removed) {
    if (remove_chars(text, is_invisible)) removed = true;
}

HostnameAnalysis analyze(std::string_view host, bool contractions) {
    HostnameAnalysis r;
    if (may_be_bracketed(host)) {
        std::string nfkc_host;
        std::string_view n = normalize::normalize_cow(host, normalize::Form::NFKC, nfkc_host) ? nfkc_host : host;
        if (is_bracketed_ipv6_literal(n)) {
            r.canonical.assign(n);
            return r;
        }
    }

    // The canonical form is the Latin fold of the joined processed labels
    // without their bidi controls. The fold never reaches across a full stop
    // ("." composes with nothing and folds to itself, and the fold works
    // character by character on the composed text), so it is the folds of
    // stretches of labels joined: a label that the whole-script test folded
    // already is not folded again, the labels between such labels are folded
    // together.
    LabelBuffers buf;
    std::string joined;  // the processed labels joined with "."
    std::string folded;  // the fold of `joined` up to `unfolded`
    joined.reserve(host.size());
    folded.reserve(host.size());
    std::size_t unfolded = 0;
    bool idna_error = false;
    std::size_t label_count = count_labels(host);
    r.labels.reserve(label_count);
    r.label_script_list.reserve(label_count);
    for (std::size_t start = 0;;) {
        Separator sep = next_separator(host, start);
        std::string_view label = host.substr(start, sep.start - start);
        r.compat_fold = r.compat_fold || has_compatibility_character(label);
        std::string_view p = process_label(label, buf, r.has_invisible, idna_error);
        std::size_t label_start = joined.size();
        joined.append(p);
        std::optional<std::string_view> latin = examine_label(p, r, buf.label_folded);
        if (latin && !scripts::has_bidi_control(p)) {
            append_canonical(std::string_view(joined).substr(unfolded, label_start - unfolded), folded, buf);
            folded.append(*latin);
            unfolded = joined.size();
        }
        if (sep.len == 0) break;
        joined.push_back('.');
        start = sep.start + sep.len;
    }
    append_canonical(std::string_view(joined).substr(unfolded), folded, buf);

    r.bidi_conflict = may_hold_right_to_left(joined) && scripts::has_bidi_conflict(joined, false);
    r.bidi_control = scripts::has_bidi_control(joined);
    r.cross_label_script = r.scripts.size() > 1;
    r.whole_script_confusable = std::ranges::any_of(r.labels, &LabelFindings::whole_script_confusable);
    if (contractions) {
        contraction::ContractedLabels labels(folded);
        for (bool first = true; auto label = labels.next(); first = false) {
            if (!first) r.canonical.push_back('.');
            r.canonical.append(*label);
        }
    } else {
        r.canonical = std::move(folded);
    }

    r.suspicious = r.compat_fold || r.has_invisible || r.bidi_control || r.bidi_conflict || r.mixed_script ||
                   r.has_confusables || idna_error;
    return r;
}

}  // namespace kelrad::hostname
