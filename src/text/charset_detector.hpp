// The statistical guess behind encoding detection, made by uchardet.
//
// uchardet weighs the input against trained models of languages and their
// legacy encodings. Its answer, one of 45 charset names, becomes an encoding
// of the WHATWG Encoding Standard: a name that is a label of the Standard
// gives that label's encoding; a short reviewed table covers the names that
// are not labels or whose label would decode the text wrongly; everything
// else, and no answer at all, gives windows-1252, the Standard's default for
// legacy text.
#pragma once

#include <string_view>

#include "tables/encodings.hpp"

namespace kelrad::charset_detector {

// uchardet's guess for the whole of `data`, from a detector of its own.
tables::Encoding guess(std::string_view data);

// The encoding that stands for a uchardet charset name ("" for no answer).
tables::Encoding from_uchardet_name(std::string_view name) noexcept;

}  // namespace kelrad::charset_detector
