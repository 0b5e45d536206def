#include "text/charset_detector.hpp"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <new>
#include <utility>

#include "text/decoders.hpp"

namespace kelrad::charset_detector {
namespace {

using tables::Encoding;

// uchardet names whose label lookup would not give the right decoder,
// reviewed on sample texts:
// - MAC-CYRILLIC is no label; the Standard's x-mac-cyrillic is that encoding.
// - UHC (Microsoft's Unified Hangul Code) is what the Standard's EUC-KR
//   decodes: its index covers the whole of UHC.
// - EUC-TW is uchardet's answer for much simplified Chinese in GBK, whose
//   two-byte pairs fall in the EUC-TW plane-1 range; true EUC-TW has no
//   decoder in the Standard.
// - UTF-16 (a label of UTF-16LE) comes without a byte order mark, where the
//   NUL pattern of real UTF-16 text was already recognised; UTF-8 is never
//   asked for, since well-formed UTF-8 is recognised first. Both fall back.
// The names that are no label of the Standard (IBM852, IBM855, the other
// MAC-* names, VISCII, UTF-32) and the replacement encoding's labels
// (HZ-GB-2312, ISO-2022-CN, ISO-2022-KR: uchardet's answer for ASCII holding
// A0 bytes) fall back too.
constexpr std::pair<std::string_view, Encoding> kReviewed[] = {
    {"EUC-TW", Encoding::GBK},
    {"MAC-CYRILLIC", Encoding::x_mac_cyrillic},
    {"UHC", Encoding::EUC_KR},
    {"UTF-16", Encoding::windows_1252},
    {"UTF-8", Encoding::windows_1252},
};

constexpr Encoding kFallback = Encoding::windows_1252;

struct DetectorDeleter {
    void operator()(uchardet_t d) const noexcept { uchardet_delete(d); }
};

}  // namespace

Encoding from_uchardet_name(std::string_view name) noexcept {
    for (auto [reviewed, encoding] : kReviewed) {
        if (name == reviewed) return encoding;
    }
    std::optional<Encoding> e = decoders::get_encoding(name);
    return e && *e != Encoding::replacement ? *e : kFallback;
}

Encoding guess(std::string_view data) {
    std::unique_ptr<uchardet, DetectorDeleter> detector(uchardet_new());
    if (!detector) throw std::bad_alloc();
    // uchardet counts a call's bytes in 32 bits; feeding the input in parts
    // is the same as feeding it whole.
    constexpr std::size_t kPart = std::size_t{1} << 30;
    for (std::size_t i = 0; i < data.size(); i += kPart) {
        // Its only failure is running out of memory.
        if (uchardet_handle_data(detector.get(), data.data() + i, std::min(kPart, data.size() - i)) != 0) {
            throw std::bad_alloc();
        }
    }
    uchardet_data_end(detector.get());
    return from_uchardet_name(uchardet_get_charset(detector.get()));
}

}  // namespace kelrad::charset_detector
