#include "text/percent.hpp"

#include "text/error.hpp"

namespace kelrad::percent {
namespace {

template <bool (*Keep)(std::uint8_t) noexcept>
void encode_with(std::string_view text, bool space_as_plus, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
        auto b = static_cast<std::uint8_t>(c);
        if (Keep(b)) {
            out.push_back(c);
        } else if (space_as_plus && b == ' ') {
            out.push_back('+');
        } else {
            const char escape[3] = {'%', kHex[b >> 4], kHex[b & 0x0F]};
            out.append(escape, 3);
        }
    }
}

}  // namespace

std::optional<UrlComponent> parse_url_component(std::string_view text) noexcept {
    if (text == "path") return UrlComponent::Path;
    if (text == "segment") return UrlComponent::Segment;
    if (text == "query") return UrlComponent::Query;
    if (text == "form") return UrlComponent::Form;
    return std::nullopt;
}

std::string unknown_component_message(std::string_view got) {
    return "unknown percent-encode component " + error::quoted_debug_literal(got) +
           "; expected one of: 'path', 'segment', 'query', 'form'";
}

void percent_encode(std::string_view text, UrlComponent component, std::string& out) {
    out.clear();
    out.reserve(text.size());
    switch (component) {
        case UrlComponent::Path: encode_with<is_pchar_path>(text, false, out); break;
        case UrlComponent::Segment: encode_with<is_pchar_segment>(text, false, out); break;
        case UrlComponent::Query: encode_with<is_unreserved>(text, false, out); break;
        case UrlComponent::Form: encode_with<is_unreserved>(text, true, out); break;
    }
}

}  // namespace kelrad::percent
