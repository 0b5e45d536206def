#include "text/normalize.hpp"

namespace kelrad::normalize {

std::expected<Form, CoreError> validate_form(std::string_view form) {
    if (form == "NFC") return Form::NFC;
    if (form == "NFD") return Form::NFD;
    if (form == "NFKC") return Form::NFKC;
    if (form == "NFKD") return Form::NFKD;
    return fail(error::InvalidNormForm{std::string(form)});
}

std::expected<void, CoreError> normalize(std::string_view text, std::string_view form, std::string& out) {
    auto f = validate_form(form);
    if (!f) return std::unexpected(f.error());
    out.clear();
    normalize_into(text, *f, out);
    return {};
}

void normalize_into(std::string_view text, Form, std::string& out) { out.append(text); }
void nfc_into(std::string_view text, std::string& out) { out.assign(text); }
std::string to_nfc(std::string_view text) { return std::string(text); }
std::string to_nfd(std::string_view text) { return std::string(text); }
std::string to_nfkc(std::string_view text) { return std::string(text); }
std::string to_nfkd(std::string_view text) { return std::string(text); }
std::string to_form(std::string_view text, Form) { return std::string(text); }
bool is_normalized(std::string_view, Form) { return true; }
bool is_stream_safe(std::string_view) { return true; }
bool is_normalized_stream_safe(std::string_view, Form) { return true; }
bool stream_safe(std::string_view, std::string&) { return false; }
std::optional<UnstableSpan> next_unstable_span(SpanState&) noexcept { return std::nullopt; }
std::uint8_t combining_class(char32_t) noexcept { return 0; }
bool is_mark(char32_t) noexcept { return false; }
QuickCheck quick_check(char32_t, Form) noexcept { return QuickCheck::Yes; }
Decomposition canonical_decomposition(char32_t cp) noexcept { Decomposition d; d.push(cp); return d; }
Decomposition compatibility_decomposition(char32_t cp) noexcept { Decomposition d; d.push(cp); return d; }
void append_nfkc(char32_t, std::string&) {}
std::optional<char32_t> compose_pair(char32_t, char32_t) noexcept { return std::nullopt; }

}  // namespace kelrad::normalize
