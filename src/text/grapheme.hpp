// Extended grapheme clusters (UAX #29, Unicode 17.0.0): what a reader sees as
// one character.
//
// All functions take well-formed UTF-8 and byte offsets that are cluster
// boundaries. They keep no state between calls and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tables/grapheme.hpp"

namespace kelrad::grapheme {

// The byte offset at which the extended grapheme cluster that starts at byte
// `pos` ends (pos < text.size(), a cluster boundary).
std::size_t next_boundary(std::string_view text, std::size_t pos) noexcept;

// The number of extended grapheme clusters of the text.
std::size_t count(std::string_view text) noexcept;

// The boundary rules applied one code point at a time, for scans that do
// their own work per cluster: feed every code point of a text in order to
// `breaks_before`, which answers whether a cluster starts with it (always
// true for the first). One table lookup per code point, no branch.
class Breaker {
public:
    bool breaks_before(char32_t cp) noexcept {
        const unsigned t = tables::kGraphemeTransitions[row_ + tables::grapheme_class(cp)];
        row_ = t >> 1;
        return t & 1;
    }

    // Skips over a stretch of ASCII whose last byte is `last`: what follows
    // is judged as after that byte alone (ASCII leaves no other context).
    void after_ascii(unsigned char last) noexcept {
        row_ = 0;
        breaks_before(last);
    }

private:
    unsigned row_ = 0;  // the current state's row in kGraphemeTransitions
};

// The clusters of a text in order, as views into it:
//
//     for (std::string_view cluster : grapheme::clusters(text)) ...
//
// `offset()` of an iterator is the byte offset of its cluster.
class Clusters {
public:
    explicit Clusters(std::string_view text) noexcept : text_(text) {}

    class iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;

        iterator() noexcept = default;
        iterator(std::string_view text, std::size_t pos) noexcept
            : text_(text), pos_(pos), end_(pos < text.size() ? next_boundary(text, pos) : pos) {}

        std::string_view operator*() const noexcept { return text_.substr(pos_, end_ - pos_); }
        iterator& operator++() noexcept {
            pos_ = end_;
            if (pos_ < text_.size()) end_ = next_boundary(text_, pos_);
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& o) const noexcept { return pos_ == o.pos_; }
        std::size_t offset() const noexcept { return pos_; }

    private:
        std::string_view text_;
        std::size_t pos_ = 0;
        std::size_t end_ = 0;
    };

    iterator begin() const noexcept { return {text_, 0}; }
    iterator end() const noexcept { return {text_, text_.size()}; }

private:
    std::string_view text_;
};

inline Clusters clusters(std::string_view text) noexcept { return Clusters(text); }

}  // namespace kelrad::grapheme
