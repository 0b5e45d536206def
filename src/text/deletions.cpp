#include "text/deletions.hpp"

#include <cstdint>

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

// Length of the run at the start of `text` that holds neither a control the
// replay acts on nor a line boundary, found a word at a time. It stops at
// every C0 control up to CR, at DELETE, and at the lead bytes 0xC2 and 0xE2,
// which begin NEL, U+2028 and U+2029 (and other characters, which the caller
// then takes one by one): always on a character boundary.
std::size_t plain_run(std::string_view text) noexcept {
    const char* p = text.data();
    std::size_t n = text.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = swar::load(p + i);
        const std::uint64_t marks = swar::bytes_below(w, 0x0E) | swar::bytes_equal(w, 0x7F) |
                                    swar::bytes_equal(w, 0xC2) | swar::bytes_equal(w, 0xE2);
        if (marks) return i + swar::first_marked(marks);
    }
    for (; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (b < 0x0E || b == 0x7F || b == 0xC2 || b == 0xE2) break;
    }
    return i;
}

// Length of the run of printable ASCII (U+0020-007E) at the start of `text`:
// visible bases, none of them a control the replay acts on.
std::size_t printable_ascii_run(std::string_view text) noexcept {
    const char* p = text.data();
    std::size_t n = text.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = swar::load(p + i);
        const std::uint64_t marks = (w & swar::kHighBits) | swar::bytes_below(w, 0x20) | swar::bytes_equal(w, 0x7F);
        if (marks) return i + swar::first_marked(marks);
    }
    for (; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (b < 0x20 || b >= 0x7F) break;
    }
    return i;
}

// The line being replayed lives in `out` itself, split at the cursor like a
// gap buffer:
//
//   out           = [earlier lines][prefix][cells before the cursor]
//   after_cursor_ = [last cell]...[cell after the cursor][cell at the cursor]
//
// Cells before the cursor are never empty and each starts with a visible base,
// so the last one is found by stepping back through the UTF-8 to the last
// visible base; no per-cell record is kept. The cells from the cursor on are a
// stack with the cell at the cursor on top, at the end of `after_cursor_`:
// each holds its bytes in order, and an erased cell is the single byte 0xFF,
// which UTF-8 never uses. A visible character pops the top cell (it overwrites
// the cell at the cursor); an erase moves the last cell before the cursor onto
// the stack as an erased cell; a carriage return moves every cell before the
// cursor onto it. A byte moves from `out` to the stack at most once and leaves
// the stack once, so the replay stays linear and the stack never holds more
// bytes than the input.
class Line {
public:
    explicit Line(std::string& out) : out_(out), cells_start_(out.size()) {}

    void put_visible(std::string_view ch) {
        if (!after_cursor_.empty()) after_cursor_.resize(top_cell_start());
        out_.append(ch);
    }

    // Takes the longest run at the start of `rest` that needs no decoding and
    // returns its length. With no cell from the cursor on and the cursor past
    // the start of the line, every character but a control the replay acts on
    // or a line boundary is appended where it stands, visible or not.
    // Otherwise a run of printable ASCII still needs no decoding: each byte
    // is a visible base and overwrites one cell.
    std::size_t put_run(std::string_view rest) {
        if (after_cursor_.empty() && out_.size() > cells_start_) {
            const std::size_t n = plain_run(rest);
            out_.append(rest.substr(0, n));
            return n;
        }
        const std::size_t n = printable_ascii_run(rest);
        for (std::size_t k = 0; k < n && !after_cursor_.empty(); ++k) after_cursor_.resize(top_cell_start());
        out_.append(rest.substr(0, n));
        return n;
    }

    // Rides on the cell before the cursor, or joins the prefix when the cursor
    // is at the start of the line (then nothing follows the prefix in `out`).
    void put_invisible(std::string_view ch) {
        const bool at_line_start = out_.size() == cells_start_;
        out_.append(ch);
        if (at_line_start) cells_start_ = out_.size();
    }

    void erase_back() {
        if (out_.size() == cells_start_) return;
        out_.resize(last_cell_start(out_, cells_start_));
        after_cursor_.push_back(kErasedCell);
    }

    void carriage_return() {
        const std::size_t to = after_cursor_.size();
        after_cursor_.resize(to + (out_.size() - cells_start_));
        char* dst = after_cursor_.data() + to;
        const std::string_view line = out_;
        std::size_t end = line.size();
        while (end > cells_start_) {
            if (is_ascii(line[end - 1])) {
                *dst++ = line[--end];
                continue;
            }
            const std::size_t start = last_cell_start(line.substr(0, end), cells_start_);
            dst += line.copy(dst, end - start, start);
            end = start;
        }
        out_.resize(cells_start_);
    }

    // Writes the rest of the line and the character that ended it, then starts afresh.
    void flush(std::string_view boundary) {
        while (!after_cursor_.empty()) {
            if (is_ascii(after_cursor_.back())) {
                out_.push_back(after_cursor_.back());
                after_cursor_.pop_back();
                continue;
            }
            const std::size_t start = top_cell_start();
            if (after_cursor_[start] != kErasedCell) out_.append(after_cursor_, start);
            after_cursor_.resize(start);
        }
        out_.append(boundary);
        cells_start_ = out_.size();
    }

private:
    static constexpr char kErasedCell = static_cast<char>(0xFF);

    static constexpr bool is_ascii(char b) noexcept { return !(static_cast<unsigned char>(b) & 0x80); }

    // Start of the cell that ends `cells`, which holds whole cells from
    // `floor` on. Every ASCII character is a visible base: a final ASCII byte
    // is a cell of its own.
    static std::size_t last_cell_start(std::string_view cells, std::size_t floor) noexcept {
        std::size_t start = cells.size();
        if (is_ascii(cells[start - 1])) return start - 1;
        while (start > floor) {
            const utf8::Decoded d = utf8::decode_before(cells, start);
            start -= d.len;
            if (is_visible_base(d.cp)) break;
        }
        return start;
    }

    std::size_t top_cell_start() const noexcept {
        if (after_cursor_.back() == kErasedCell) return after_cursor_.size() - 1;
        return last_cell_start(after_cursor_, 0);
    }

    std::string& out_;
    std::size_t cells_start_;   // where the prefix ends and the cells begin in `out_`
    std::string after_cursor_;  // the cells from the cursor on, top at the end
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
    Line line(out);
    std::size_t i = 0;
    while (i < text.size()) {
        i += line.put_run(text.substr(i));
        if (i == text.size()) break;
        auto [cp, len] = utf8::decode(text, i);
        std::string_view ch = text.substr(i, len);
        i += len;
        if (cp == kCarriageReturn && resolve_cr) {
            // CR LF and a final CR end the line as usual; any other CR is
            // replayed as a return to the start of the line and vanishes.
            if (i == text.size() || text[i] == '\n') {
                line.flush(ch);
            } else {
                line.carriage_return();
            }
        } else if (is_line_boundary(cp, resolve_cr)) {
            line.flush(ch);
        } else if (cp == kBackspace || cp == kDelete) {
            line.erase_back();
        } else if (is_visible_base(cp)) {
            line.put_visible(ch);
        } else {
            line.put_invisible(ch);
        }
    }
    line.flush({});
    return out != text;
}

}  // namespace kelrad::deletions
