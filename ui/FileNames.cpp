#include "ui/FileNames.h"

#include <stdexcept>

namespace mg {

void FileNames::push_back(std::string_view name)
{
    if (name.size() > 0xffff)
        throw std::length_error("file name too long");
    spans_.push_back(Span{bytes_.size(), name.size()});
    bytes_.insert(bytes_.end(), name.begin(), name.end());
}

void FileNames::Reorder(const NameIndices& order)
{
    std::vector<Span, LargeAllocator<Span>> spans;
    spans.reserve(order.size());
    for (const std::uint32_t from : order)
        spans.push_back(spans_[from]);
    spans_ = std::move(spans);
}

} // namespace mg
