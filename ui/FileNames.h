#pragma once
// A list of file names held back to back in one buffer. A folder of a
// million files costs two allocations instead of a million, and dropping
// the list (when the file list moves on) frees two blocks instead of
// walking a million strings.
#include "ui/LargeAllocator.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <vector>

namespace mg {

// Places of names in a list, as a sort gives them.
using NameIndices = std::vector<std::uint32_t, LargeAllocator<std::uint32_t>>;

class FileNames {
public:
    std::size_t size() const { return spans_.size(); }
    bool empty() const { return spans_.empty(); }
    std::string_view operator[](std::size_t i) const
    {
        const Span s = spans_[i];
        return {bytes_.data() + s.offset, static_cast<std::size_t>(s.size)};
    }
    // Appends a name. Names of more than 65,535 bytes (far beyond any file
    // system's limit) throw std::length_error.
    void push_back(std::string_view name);
    // Puts the names in a new order: place i gets the name that was at
    // order[i]. Only the small per-name records move, never the bytes.
    void Reorder(const NameIndices& order);

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;
        const_iterator(const FileNames* names, std::size_t i) : names_(names), i_(i) {}
        std::string_view operator*() const { return (*names_)[i_]; }
        const_iterator& operator++()
        {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const FileNames* names_;
        std::size_t i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    struct Span {
        std::uint64_t offset : 48;
        std::uint64_t size : 16;
    };
    std::vector<char, LargeAllocator<char>> bytes_;
    std::vector<Span, LargeAllocator<Span>> spans_;
};

} // namespace mg
