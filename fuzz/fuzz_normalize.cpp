// Normalization (UAX #15) and case folding on arbitrary text: every result is
// well-formed UTF-8 in the form asked for, and the forms relate as the standard
// defines them.
#include "fuzz_input.hpp"
#include "text/case_fold.hpp"
#include "text/normalize.hpp"

using namespace kelrad;
using normalize::Form;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const Form form = in.pick({Form::NFC, Form::NFD, Form::NFKC, Form::NFKD});
    const std::string text = in.rest();

    const std::string out = normalize::to_form(text, form);
    FUZZ_CHECK(fuzz::is_valid_utf8(out));
    FUZZ_CHECK(normalize::is_normalized(out, form));
    FUZZ_CHECK(normalize::to_form(out, form) == out);
    FUZZ_CHECK(normalize::is_normalized(text, form) == (out == text));
    if (normalize::quick_check(text, form) == normalize::QuickCheck::Yes) FUZZ_CHECK(out == text);

    std::string cow;
    FUZZ_CHECK(normalize::normalize_cow(text, form, cow) ? cow == out : text == out);

    // The composed forms compose the decompositions; decomposing undoes composition.
    if (form == Form::NFC) FUZZ_CHECK(normalize::to_nfc(normalize::to_nfd(text)) == out);
    if (form == Form::NFKC) FUZZ_CHECK(normalize::to_nfc(normalize::to_nfkd(text)) == out);
    if (form == Form::NFD) FUZZ_CHECK(normalize::to_nfd(normalize::to_nfc(text)) == out);

    std::string safe;
    const bool changed = normalize::stream_safe(text, safe);
    const std::string_view stream = changed ? std::string_view(safe) : std::string_view(text);
    std::string again;
    FUZZ_CHECK(fuzz::is_valid_utf8(stream) && !normalize::stream_safe(stream, again));  // already stream-safe
    (void)normalize::is_normalized_stream_safe(text, form);

    std::string folded;
    case_fold::fold_case(text, folded);
    FUZZ_CHECK(fuzz::is_valid_utf8(folded));
    (void)case_fold::is_case_fold_stable(text);
    return 0;
}
