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
// - EUC-TW has no decoder in the Standard; it goes to the Chinese one, GBK,
//   whose index maps every byte pair of EUC-TW's layout (A1..FE twice).
// - UTF-16 is uchardet's answer for a byte order mark, which the rules before
//   it have taken already; without one it is no answer worth a decoder.
// UTF-8 stays: uchardet gives it for UTF-8 damaged by a stray byte, which
// decodes right but for one U+FFFD. The names that are no label of the
// Standard (IBM852, IBM855, the other MAC-* names, VISCII, UTF-32) and the
// replacement encoding's labels (HZ-GB-2312, ISO-2022-CN, ISO-2022-KR:
// uchardet's answer for ASCII holding A0 bytes) fall back.
constexpr std::pair<std::string_view, Encoding> kReviewed[] = {
    {"EUC-TW", Encoding::GBK},
    {"MAC-CYRILLIC", Encoding::x_mac_cyrillic},
    {"UHC", Encoding::EUC_KR},
    {"UTF-16", Encoding::windows_1252},
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
