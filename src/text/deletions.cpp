#include "text/deletions.hpp"

#include <cstdint>
#include <vector>

#include "text/normalize.hpp"
#include "util/ranges.hpp"
#include "util/swar.hpp"
#include "util/utf8.hpp"

namespace kelrad::deletions {
namespace {

constexpr char32_t kBackspace = 0x08;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kCarriageReturn = 0x0D;

// Drawn nowhere, so they ride with the character before them: zero-width
// characters, direction controls, variation selectors and tag characters.
constexpr CodepointRange kInvisible[] = {
    {0x061C, 0x061C}, {0x180E, 0x180E}, {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},
    {0x2066, 0x2069}, {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF},   {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0000, 0xE007F}, {0xE0100, 0xE01EF},
};

// Whether the text holds a control the replay acts on. All of them are
// ASCII, so the bytes can be searched directly, a word at a time.
bool has_editing_control(std::string_view text, bool resolve_cr) noexcept {
    const char* p = text.data();
    std::size_t n = text.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = swar::load(p + i);
        if (swar::bytes_equal(w, kBackspace) | swar::bytes_equal(w, kDelete) |
            (resolve_cr ? swar::bytes_equal(w, kCarriageReturn) : 0)) {
            break;
        }
    }
    for (; i < n; ++i) {
        char32_t c = static_cast<unsigned char>(p[i]);
        if (c == kBackspace || c == kDelete || (resolve_cr && c == kCarriageReturn)) return true;
    }
    return false;
}

// Lines end at LF, VT, FF, NEL, U+2028 and U+2029, and at CR when carriage
// returns are not replayed.
constexpr bool is_line_boundary(char32_t cp, bool resolve_cr) noexcept {
    return cp == 0x0A || cp == 0x0B || cp == 0x0C || cp == 0x85 || cp == 0x2028 || cp == 0x2029 ||
           (cp == kCarriageReturn && !resolve_cr);
}

// One line of a simple terminal. Each cell holds a visible base and the
// invisibles written after it; an erased cell keeps its place, empty.
// Invisibles met while the cursor is at the start of the line have no cell
// to ride on and collect in `prefix`, which is written before the cells.
class Line {
public:
    void put_visible(std::string_view ch) {
        if (cursor_ < cells_.size()) {
            cells_[cursor_].assign(ch);
        } else {
            cells_.emplace_back(ch);
        }
        ++cursor_;
    }

    void put_invisible(std::string_view ch) {
        if (cursor_ == 0) {
            prefix_.append(ch);
        } else {
            cells_[cursor_ - 1].append(ch);
        }
    }

    void erase_back() {
        if (cursor_ == 0) return;
        --cursor_;
        cells_[cursor_].clear();
    }

    void carriage_return() noexcept { cursor_ = 0; }

    // Writes the line and the character that ended it, then starts afresh.
    void flush(std::string& out, std::string_view boundary) {
        out.append(prefix_);
        for (const std::string& cell : cells_) out.append(cell);
        out.append(boundary);
        prefix_.clear();
        cells_.clear();
        cursor_ = 0;
    }

private:
    std::string prefix_;
    std::vector<std::string> cells_;
    std::size_t cursor_ = 0;
};

}  // namespace

// Nothing below U+0300 is a mark or invisible, so ordinary text never
// searches.
bool is_visible_base(char32_t c) noexcept {
    return c < 0x300 || !(normalize::is_mark(c) || in_ranges(kInvisible, c));
}

bool resolve_deletions(std::string_view text, bool resolve_cr, std::string& out) {
    if (!has_editing_control(text, resolve_cr)) return false;
    out.clear();
    out.reserve(text.size());
    Line line;
    std::size_t i = 0;
    while (i < text.size()) {
        auto [cp, len] = utf8::decode(text, i);
        std::string_view ch = text.substr(i, len);
        i += len;
        if (cp == kCarriageReturn && resolve_cr) {
            // CR LF and a final CR end the line as usual; any other CR is
            // replayed as a return to the start of the line and vanishes.
            if (i == text.size() || text[i] == '\n') {
                line.flush(out, ch);
            } else {
                line.carriage_return();
            }
        } else if (is_line_boundary(cp, resolve_cr)) {
            line.flush(out, ch);
        } else if (cp == kBackspace || cp == kDelete) {
            line.erase_back();
        } else if (is_visible_base(cp)) {
            line.put_visible(ch);
        } else {
            line.put_invisible(ch);
        }
    }
    line.flush(out, {});
    return out != text;
}

}  // namespace kelrad::deletions
