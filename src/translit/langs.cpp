#include "translit/langs.hpp"

#include <algorithm>
#include <unordered_map>

#include "text/lock.hpp"
#include "text/utils.hpp"
#include "translit/seal.hpp"
#include "util/string_hash.hpp"
#include "util/utf8.hpp"

namespace kelrad::transliterate {

const std::array<std::string_view, 83> BUILTIN_LANGS = {
    "am", "ar",  "as",  "ban", "bax", "bg", "bn", "bo",  "bug", "ca",  "chr", "cjm", "cop",       "cs",
    "cy", "da",  "de",  "dv",  "el",  "es", "et", "fa",  "fi",  "fr",  "ga",  "gu",  "he",        "hi",
    "hr", "hu",  "hy",  "is",  "it",  "ja", "ja-kunrei", "jv", "ka", "khb", "km",  "kn",  "ko",  "lis",
    "lo", "lt",  "lv",  "ml",  "mn",  "mni", "mr", "mt",  "my",  "ne",  "nl",  "no",  "nod",       "nqo",
    "or", "pa",  "pl",  "pt",  "ro",  "ru", "sa", "sat", "si",  "sk",  "sl",  "sq",  "sr",        "su",
    "sv", "syr", "ta",  "tdd", "te",  "th", "tl", "tr",  "tzm", "uk",  "vai", "vi",  "zh",
};

namespace {

using LangTable = std::unordered_map<char32_t, std::string>;
using LangTableMap = StringMap<LangTable>;

sync::RwLock<LangTableMap>& lang_tables() {
    static auto& LANG_TABLES = *new sync::RwLock<LangTableMap>("LANG_TABLES");
    return LANG_TABLES;
}

std::atomic<bool> LANG_TABLES_ACTIVE{false};

bool is_alias(std::string_view code) noexcept { return code == "nb" || code == "nn" || code == "da"; }

bool is_builtin_lang(std::string_view code) noexcept {
    return std::binary_search(BUILTIN_LANGS.begin(), BUILTIN_LANGS.end(), code);
}

}  // namespace

bool is_registered_lang(std::string_view code) {
    auto tables = lang_tables().read();
    return tables->find(code) != tables->end();
}

bool is_known_lang(std::string_view code) {
    return is_builtin_lang(code) || is_alias(code) || is_registered_lang(code);
}

std::expected<void, CoreError> resolve_lang(std::optional<std::string_view> lang) {
    if (!lang || *lang == "auto" || is_known_lang(*lang)) return {};
    std::vector<std::string> langs = list_langs();
    std::string valid;
    for (const auto& code : langs) {
        if (!valid.empty()) valid += ", ";
        valid += code;
    }
    std::vector<std::string_view> candidates(langs.begin(), langs.end());
    candidates.insert(candidates.end(), {"auto", "nb", "nn", "da"});
    std::string suggestion = error::did_you_mean(utils::closest_candidate(*lang, candidates));
    return fail(error::UnknownLang{std::string(*lang), std::move(suggestion), std::move(valid)});
}

std::vector<std::string> list_langs() {
    std::vector<std::string> out(BUILTIN_LANGS.begin(), BUILTIN_LANGS.end());
    {
        auto tables = lang_tables().read();
        for (const auto& [code, table] : *tables) {
            if (!is_builtin_lang(code)) out.push_back(code);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::expected<void, CoreError> register_lang(std::string_view code,
                                             std::span<const std::pair<std::string, std::string>> mappings) {
    auto guard = tables::registration_guard("register_lang");
    if (!guard) return std::unexpected(std::move(guard.error()));

    std::size_t registered = lang_tables().read()->size();
    if (registered >= MAX_REGISTERED_LANGS && !is_registered_lang(code)) {
        return fail(error::RegisterLangLimit{MAX_REGISTERED_LANGS});
    }

    LangTable table;
    std::string bad_keys;
    for (const auto& [key, value] : mappings) {
        if (!key.empty() && utf8::decode(key, 0).len == key.size()) {
            table.insert_or_assign(utf8::decode(key, 0).cp, value);
            continue;
        }
        if (!bad_keys.empty()) bad_keys += ", ";
        bad_keys += error::quoted_debug_literal(key);
    }
    if (!bad_keys.empty()) return fail(error::RegisterLangBadKeys{std::move(bad_keys)});

    auto tables = lang_tables().write();
    tables->insert_or_assign(std::string(code), std::move(table));
    LANG_TABLES_ACTIVE.store(!tables->empty(), std::memory_order_release);
    return {};
}

bool lang_tables_active() noexcept { return LANG_TABLES_ACTIVE.load(std::memory_order_acquire); }

std::optional<std::string> registered_value(std::string_view lang, char32_t c) {
    auto tables = lang_tables().read();
    auto table = tables->find(lang);
    if (table == tables->end()) return std::nullopt;
    auto entry = table->second.find(c);
    if (entry == table->second.end()) return std::nullopt;
    return entry->second;
}

}  // namespace kelrad::transliterate
