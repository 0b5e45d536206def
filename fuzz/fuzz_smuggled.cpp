// Smuggled-payload decoding (tag characters, variation selectors, zero-width
// binary, percent escapes) on arbitrary text: runs come in order without
// overlapping, each spans whole characters of the text and counts them, and a
// decoded text is present exactly when the bytes are printable UTF-8.
#include "fuzz_input.hpp"
#include "security/smuggled.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool percent = in.flag();
    const std::string text = in.rest();

    std::size_t previous_end = 0;
    for (const auto& p : smuggled::decode_smuggled(text, percent)) {
        FUZZ_CHECK(previous_end <= p.start && p.start < p.end && p.end <= text.size());
        FUZZ_CHECK(utf8::is_boundary(text, p.start) && utf8::is_boundary(text, p.end));
        FUZZ_CHECK(fuzz::char_count(std::string_view(text).substr(p.start, p.end - p.start)) == p.units);
        FUZZ_CHECK(percent || p.scheme != smuggled::SmuggledScheme::PercentEscape);
        FUZZ_CHECK(p.text == smuggled::printable_text(p.data));
        if (p.text) FUZZ_CHECK(fuzz::is_valid_utf8(*p.text));
        previous_end = p.end;
    }
    return 0;
}
