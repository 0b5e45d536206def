// File names from arbitrary text: with valid options the call cannot fail, and
// the name is never empty, keeps to max_length, is ASCII (no language is
// registered here), and holds no control and no character that the platform
// refuses; it neither starts nor ends with a dot or a space.
#include "fuzz_input.hpp"
#include "presets/filename.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kSeparators[] = {"_", "-", " ", "", ".", "~", "__", "-_-", "+"};
    static const char* const kPlatforms[] = {"universal", "windows", "posix"};
    static const char* const kLangs[] = {"", "auto", "de", "ru", "zh", "ja", "ar", "el", "hi", "sr"};
    fuzz::Input in(data, size);
    const std::string_view separator = in.pick(kSeparators);
    const std::string_view platform = in.pick(kPlatforms);
    const std::string_view lang = in.pick(kLangs);
    const std::int64_t max_length = in.number<std::int64_t>(0, 300);
    const bool preserve_extension = in.flag();
    const std::string text = in.rest();

    auto name = filename::sanitize_filename(text, separator, max_length, platform,
                                            lang.empty() ? std::nullopt : std::optional(lang), preserve_extension);
    FUZZ_CHECK(name.has_value());
    FUZZ_CHECK(!name->empty() && fuzz::is_valid_utf8(*name));
    if (max_length > 0) FUZZ_CHECK(name->size() <= static_cast<std::size_t>(max_length));
    const std::string_view refused = platform == "posix" ? "/" : "/\\:*?\"<>|";
    for (unsigned char c : *name) {
        FUZZ_CHECK(c >= 0x20 && c < 0x7F);
        FUZZ_CHECK(refused.find(static_cast<char>(c)) == std::string_view::npos);
    }
    FUZZ_CHECK(name->front() != ' ' && name->front() != '.' && name->back() != ' ' && name->back() != '.');
    return 0;
}
