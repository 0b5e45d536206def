// Extended grapheme clusters (UAX #29, Unicode 17.0.0): what a reader sees as
// one character.
//
// All functions take well-formed UTF-8 and byte offsets that are cluster
// boundaries. They keep no state between calls and allocate nothing.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelrad::grapheme {

// The byte offset at which the extended grapheme cluster that starts at byte
// `pos` ends (pos < text.size(), a cluster boundary).
std::size_t next_boundary(std::string_view text, std::size_t pos) noexcept;

// The number of extended grapheme clusters of the text.
std::size_t count(std::string_view text) noexcept;

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
