#include "translit/accents.hpp"

#include <optional>

#include "text/normalize.hpp"
#include "text/zalgo.hpp"
#include "util/utf8.hpp"

namespace kelrad::transliterate {

void strip_accents_into(std::string_view text, std::string& out) {
    out.clear();
    if (utf8::is_ascii(text)) {
        out.assign(text);
        return;
    }
    // Only the spans that normalization could change hold marks or characters
    // that decompose to marks; the stretches between them are copied whole.
    // They may still compose (conjoining jamo), hence the NFC at the end.
    normalize::SpanState spans(text);
    std::string working;
    working.reserve(text.size());
    std::size_t copied = 0;
    while (std::optional<normalize::UnstableSpan> span = normalize::next_unstable_span(spans)) {
        working.append(text, copied, span->start - copied);
        std::optional<char32_t> base = span->previous;
        bool overlay_kept = false;
        for (auto [cp, len] : utf8::chars(text.substr(span->start, span->end - span->start))) {
            for (char32_t x : normalize::canonical_decomposition(cp)) {
                if (!normalize::is_mark(x)) {
                    utf8::append(working, x);
                    base = x;
                    overlay_kept = false;
                } else if (!overlay_kept && zalgo::is_negation_overlay(x, base)) {
                    utf8::append(working, x);
                    overlay_kept = true;
                }
            }
        }
        copied = span->end;
    }
    working.append(text, copied);
    normalize::nfc_into(working, out);
}

}  // namespace kelrad::transliterate
