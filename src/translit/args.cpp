#include "translit/args.hpp"

#include <string>
#include <utility>

namespace kelrad::transliterate {

std::expected<void, CoreError> validate_transliterate_args(std::optional<std::string_view> lang,
                                                           std::optional<std::string_view> target,
                                                           std::string_view errors, std::string_view replace_with,
                                                           bool strict_iso9, bool gost7034, bool tones,
                                                           bool context) {
    if (lang && target) return fail(error::LangTargetExclusive{});
    if (context) {
        if (target) return fail(error::ContextTargetExclusive{});
        if (tones) return fail(error::TonesWithContext{});
        if (errors == "strict") return fail(error::StrictWithContext{});
        return {};
    }
    if (!target) return {};
    // Listed in byte order.
    const std::pair<std::string_view, bool> forward_only[] = {
        {"errors", errors != "replace"},     {"gost7034", gost7034}, {"replace_with", replace_with != "[?]"},
        {"strict_iso9", strict_iso9},        {"tones", tones},
    };
    std::string names;
    for (const auto& [name, set] : forward_only) {
        if (!set) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    if (!names.empty()) return fail(error::ForwardOnlyWithTarget{std::move(names)});
    return {};
}

}  // namespace kelrad::transliterate
