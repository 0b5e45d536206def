// Automatic language choice for `lang="auto"`.
//
// The first character whose script is neither Latin nor neutral (Common,
// Inherited) fixes the script of the whole text; within Latin, Cyrillic and
// Arabic a few letters that only one language uses (the discriminators) pick
// that language, otherwise the script's default code applies. Characters, not
// words: cheap, deterministic, no dictionaries.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "text/scripts.hpp"

namespace kelrad::autolang {

// Why a code was (or was not) chosen; the names are the Python-visible reasons.
enum class Reason : std::uint8_t { NoDetection, LatinDiscriminator, UnambiguousScript, ScriptDefault, Discriminator };

std::string_view reason_name(Reason r) noexcept;

// The default code of a script name ("Cyrillic" -> "ru"), or none for the
// scripts without one (Latin, Common, Runic, ...).
std::optional<std::string_view> default_lang_for_script(std::string_view script) noexcept;

// A deciding letter and the code it selects.
struct Discriminator {
    std::string_view lang;
    char32_t ch;
};

// The first discriminator letter of `script` among the first 2000 characters
// of the text; none for a script without discriminators.
std::optional<Discriminator> discriminate_lang(std::string_view text, std::string_view script) noexcept;

struct AutoLang {
    std::optional<scripts::Script> script;
    std::optional<std::string_view> chosen_lang;
    Reason reason = Reason::NoDetection;
    std::optional<char32_t> discriminator;  // the deciding character, if any
};

// The decision, with its reason. `chosen_lang` is a static string.
AutoLang inspect_auto_lang(std::string_view text) noexcept;

}  // namespace kelrad::autolang
