// The shared core of `_transliterate` and of the fast path of the module's
// public transliteration entry, and the surrogate-safe wrapper class.
#pragma once

#include "py/ref.hpp"

#include <optional>
#include <string_view>

namespace kelrad::py {

// Transliterates a str object: the two Cyrillic schemes are refused together,
// then `lang` is resolved, then the text's UTF-8 form is taken (a surrogate
// raises the interpreter's UnicodeEncodeError as is, without a parameter
// note), then `errors` is parsed ("strict" or an error mode), then the global
// replacements and the engine run. Returns the very object passed in when
// nothing changes, else a new str; nullptr with the exception set.
// `text` must be a str or an instance of a str subclass.
PyObject* transliterate_object(PyObject* text, std::optional<std::string_view> lang, std::string_view errors,
                               std::string_view replace_with, bool strict_iso9, bool gost7034, bool tones);

// The type object of SurrogateSafe (surrogate_safe.cpp), created on first use.
PyObject* surrogate_safe_type();

}  // namespace kelrad::py
