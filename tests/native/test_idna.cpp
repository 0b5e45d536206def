#include <fstream>
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
    if (trim(line).empty()) return cols;
    for (std::size_t start = 0;;) {
        std::size_t semi = line.find(';', start);
        cols.push_back(trim(line.substr(start, semi - start)));
        if (semi == npos) return cols;
        start = semi + 1;
    }
}

// A column of IdnaTestV2.txt with its \uXXXX and \x{XXXX} escapes resolved;
// nullopt for a lone surrogate, which UTF-8 cannot carry.
std::optional<std::string> unescape(std::string_view s) {
    if (s == "\"\"") return std::string();
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t digits = 0, skip = 0;
        if (s.substr(i).starts_with("\\u")) {
            digits = 4;
            skip = 2;
        } else if (s.substr(i).starts_with("\\x{")) {
            digits = s.find('}', i) - i - 3;
            skip = 3;
        }
        if (digits == 0) {
            out.push_back(s[i++]);
            continue;
        }
        auto cp = static_cast<char32_t>(std::stoul(std::string(s.substr(i + skip, digits)), nullptr, 16));
        if (cp >= 0xD800 && cp <= 0xDFFF) return std::nullopt;
        utf8::append(out, cp);
        i += skip + digits + (skip == 3);
    }
    return out;
}

// The status codes that the chosen options turn off: CheckHyphens (V2, V3),
// UseSTD3ASCIIRules (U1), VerifyDnsLength (A4_1, A4_2, X4_2) and
// CheckJoiners (C1, C2).
bool counts_under_our_options(std::string_view code) {
    for (std::string_view off : {"V2", "V3", "U1", "A4_1", "A4_2", "X4_2", "C1", "C2"}) {
        if (code == off) return false;
    }
    return true;
}

// The URL Standard's forbidden domain code points, which take the place of
// UseSTD3ASCIIRules.
bool has_forbidden_domain_code_point(std::string_view s) {
    constexpr std::string_view kForbiddenPunctuation = "#%/:<>?@[\\]^|";
    for (unsigned char b : s) {
        if (b <= 0x20 || b == 0x7F || kForbiddenPunctuation.find(static_cast<char>(b)) != npos) return true;
    }
    return false;
}

struct IdnaTestLine {
    int number;
    std::string source;
    std::string to_unicode;
    bool error;  // under our options
};

std::vector<IdnaTestLine> idna_test_lines() {
    std::vector<IdnaTestLine> lines;
    std::ifstream in("data/unicode-17.0.0/idna/IdnaTestV2.txt");
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> cols = columns(line);
        if (cols.empty()) continue;
        auto source = unescape(cols[0]);
        auto expected = cols[1].empty() ? source : unescape(cols[1]);
        if (!source || !expected) continue;
        bool error = false;
        std::string_view status = cols[2];
        for (std::size_t start = 1; start < status.size();) {
            std::size_t end = status.find_first_of(",]", start);
            error |= counts_under_our_options(trim(status.substr(start, end - start)));
            start = end + 1;
        }
        error |= has_forbidden_domain_code_point(*expected);
        lines.push_back({number, std::move(*source), std::move(*expected), error});
    }
    return lines;
}

}  // namespace

TEST(idna_conformance_file_every_line) {
    auto lines = idna_test_lines();
    CHECK_EQ(lines.size(), 6389u);  // every line but the two with a lone surrogate
    int failed = 0;
    std::string out = "stale";
    for (const auto& l : lines) {
        bool error = idna::to_unicode(l.source, out);
        if ((out != l.to_unicode || error != l.error) && ++failed <= 30) {
            std::cerr << "line " << l.number << ": " << l.source << " -> " << out << (error ? " [error]" : "")
                      << ", want " << l.to_unicode << (l.error ? " [error]" : "") << "\n";
        }
    }
    if (failed > 0) std::cerr << failed << " failing lines\n";
    CHECK_EQ(failed, 0);
}

TEST(idna_maps_every_code_point_as_the_mapping_table_says) {
    // Each code point alone: ignored ones vanish, mapped ones become their
    // mapping (in NFC), the others stay, whatever their validity.
    std::vector<std::string> want(0x110000);
    std::ifstream in("data/unicode-17.0.0/idna/IdnaMappingTable.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cols = columns(line);
        if (cols.empty()) continue;
        std::size_t dots = cols[0].find("..");
        auto first = static_cast<char32_t>(std::stoul(cols[0].substr(0, dots), nullptr, 16));
        auto last = dots == npos ? first : static_cast<char32_t>(std::stoul(cols[0].substr(dots + 2), nullptr, 16));
        for (char32_t cp = first; cp <= last; ++cp) {
            if (cols[1] == "ignored") continue;
            if (cols[1] != "mapped") {
                want[cp] = utf8::encode(cp);
                continue;
            }
            std::istringstream hex(cols[2]);
            for (unsigned long m; hex >> std::hex >> m;) utf8::append(want[cp], static_cast<char32_t>(m));
            want[cp] = normalize::to_nfc(want[cp]);
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
