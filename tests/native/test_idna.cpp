#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "security/idna.hpp"
#include "testing.hpp"
#include "text/normalize.hpp"

using namespace kelrad;

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string trim(std::string_view s) {
    std::size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == npos ? std::string() : std::string(s.substr(a, b - a + 1));
}

// The trimmed ';'-separated columns of a data line, comment removed; none
// for a blank line.
std::vector<std::string> columns(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string> cols;
    for (std::size_t start = 0; !trim(line).empty();) {
        std::size_t semi = line.find(';', start);
        cols.push_back(trim(line.substr(start, semi - start)));
        if (semi == npos) break;
        start = semi + 1;
    }
    return cols;
}

// A column of IdnaTestV2.txt with its \uXXXX and \x{XXXX} escapes resolved;
// nullopt for a lone surrogate, which UTF-8 cannot carry.
std::optional<std::string> unescape(std::string_view s) {
    if (s == "\"\"") return std::string();
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool braced = s.substr(i).starts_with("\\x{");
        if (!braced && !s.substr(i).starts_with("\\u")) {
            out.push_back(s[i++]);
            continue;
        }
        std::size_t digits = braced ? s.find('}', i) - i - 3 : 4;
        auto cp = static_cast<char32_t>(std::stoul(std::string(s.substr(i + 2 + braced, digits)), nullptr, 16));
        if (cp >= 0xD800 && cp <= 0xDFFF) return std::nullopt;
        utf8::append(out, cp);
        i += 2 + digits + 2 * braced;
    }
    return out;
}

// Whether a toUnicodeStatus column ("[B1, V6]") holds an error under our
// options, which turn off CheckHyphens (V2, V3), UseSTD3ASCIIRules (U1),
// VerifyDnsLength (A4_1, A4_2, X4_2) and CheckJoiners (C1, C2).
bool is_error_status(std::string_view status) {
    constexpr std::string_view kOff[] = {"V2", "V3", "U1", "A4_1", "A4_2", "X4_2", "C1", "C2"};
    std::string codes;
    std::ranges::copy_if(status, std::back_inserter(codes), [](char c) { return c != '[' && c != ']' && c != ' '; });
    std::istringstream list(codes);
    for (std::string code; std::getline(list, code, ',');) {
        if (std::ranges::find(kOff, code) == std::end(kOff)) return true;
    }
    return false;
}

// The URL Standard's forbidden domain code points stand in for UseSTD3ASCIIRules.
bool has_forbidden_domain_code_point(std::string_view s) {
    return std::ranges::any_of(s, [](unsigned char b) {
        return b <= 0x20 || b == 0x7F || std::string_view("#%/:<>?@[\\]^|").find(static_cast<char>(b)) != npos;
    });
}

}  // namespace

TEST(idna_conformance_file_every_line) {
    std::ifstream in("data/unicode-17.0.0/idna/IdnaTestV2.txt");
    std::string line, out;
    int tested = 0, failed = 0;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> cols = columns(line);
        if (cols.empty()) continue;
        auto source = unescape(cols[0]);
        auto want = cols[1].empty() ? source : unescape(cols[1]);
        if (!source || !want) continue;
        ++tested;
        bool want_error = is_error_status(cols[2]) || has_forbidden_domain_code_point(*want);
        bool error = idna::to_unicode(*source, out);
        if ((out != *want || error != want_error) && ++failed <= 30) {
            std::cerr << "line " << number << ": " << *source << " -> " << out << (error ? " [error]" : "")
                      << ", want " << *want << (want_error ? " [error]" : "") << "\n";
        }
    }
    CHECK_EQ(tested, 6389);  // every line but the two with a lone surrogate
    CHECK_EQ(failed, 0);
}

TEST(idna_maps_every_code_point_as_the_mapping_table_says) {
    // Each code point alone: ignored ones vanish, mapped ones become their
    // mapping (in NFC), the others stay, whatever their validity.
    std::vector<std::string> want(0x110000);
    std::ifstream in("data/unicode-17.0.0/idna/IdnaMappingTable.txt");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cols = columns(line);
        if (cols.empty() || cols[1] == "ignored") continue;
        std::size_t dots = cols[0].find("..");
        auto first = std::stoul(cols[0].substr(0, dots), nullptr, 16);
        auto last = dots == npos ? first : std::stoul(cols[0].substr(dots + 2), nullptr, 16);
        for (auto cp = static_cast<char32_t>(first); cp <= last; ++cp) {
            std::istringstream mapping(cols[1] == "mapped" ? cols[2] : "");
            for (unsigned long m; mapping >> std::hex >> m;) utf8::append(want[cp], static_cast<char32_t>(m));
            want[cp] = cols[1] == "mapped" ? normalize::to_nfc(want[cp]) : utf8::encode(cp);
        }
    }
    int failed = 0;
    std::string out;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        idna::to_unicode(utf8::encode(cp), out);
        if (out != want[cp] && ++failed <= 10) std::cerr << testing::cp_name(cp) << " -> " << out << "\n";
    }
    CHECK_EQ(failed, 0);
}
