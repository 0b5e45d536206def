// Replaying the editing controls a terminal would act on.
//
// BACKSPACE (U+0008) and DELETE (U+007F) erase the visible character before
// them, together with the marks and invisibles that ride on it; with
// `resolve_cr`, a lone CARRIAGE RETURN sends the cursor back to the start of
// the line so that what follows overwrites it. The result is the text a
// reader would have seen.
#pragma once

#include <string>
#include <string_view>

namespace kelrad::deletions {

// False for the characters a terminal draws on top of or between others:
// combining marks (General_Category Mn, Mc, Me), zero-width characters, tag
// characters, variation selectors and direction controls. Every other
// character, controls, spaces and TAB included, occupies a cell.
bool is_visible_base(char32_t c) noexcept;

// Returns true and leaves the resolved text in `out` when it differs from
// `text`. Returns false when it does not: `out` is then untouched (the text
// holds none of the controls) or holds a copy of `text`.
bool resolve_deletions(std::string_view text, bool resolve_cr, std::string& out);

}  // namespace kelrad::deletions
