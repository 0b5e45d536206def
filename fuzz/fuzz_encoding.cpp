// Encoding detection and decoding of arbitrary bytes (taken as they are, not
// repaired): detection always answers with a confidence in [0, 1], decoding
// yields well-formed UTF-8 or one of its documented refusals, and valid UTF-8
// decoded as UTF-8 comes back unchanged.
#include "fuzz_input.hpp"
#include "text/encoding.hpp"

using namespace kelrad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kLabels[] = {"", "utf-8", "latin1", "windows-1252", "windows-1251", "shift_jis",
                                          "euc-jp", "iso-2022-jp", "gb18030", "big5", "euc-kr", "koi8-r",
                                          "utf-16le", "utf-16be", "ibm866", "x-user-defined", "macintosh", "nope"};
    static const double kConfidences[] = {0.0, 0.5, 0.95, 1.0};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FuzzedDataProvider options(data, size);  // option bytes from the end; the data is all of the input
    const std::string_view label = options.PickValueInArray(kLabels);
    const double min_confidence = options.PickValueInArray(kConfidences);
    const bool strict = options.ConsumeBool();

    const encoding::DetectedEncoding detected = encoding::detect_encoding(bytes);
    FUZZ_CHECK(detected.confidence >= 0.0 && detected.confidence <= 1.0 && !detected.name().empty());

    auto decoded = encoding::decode_to_utf8(bytes, label.empty() ? std::nullopt : std::optional(label),
                                            min_confidence, strict);
    if (!decoded) {
        FUZZ_CHECK(label.empty() || label == "nope" || strict);
        return 0;
    }
    FUZZ_CHECK(fuzz::is_valid_utf8(decoded->text));
    FUZZ_CHECK(!(strict && decoded->had_errors));
    if (label == "utf-8" && fuzz::is_valid_utf8(bytes) && !bytes.starts_with("\xEF\xBB\xBF")) {
        FUZZ_CHECK(decoded->text == bytes && !decoded->had_errors);
    }
    return 0;
}
