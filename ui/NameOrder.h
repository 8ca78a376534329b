#pragma once
// The order in which the file list shows names: the order a file manager
// uses (and the folder tree shows), worked out on the names' bytes so that
// a folder of a million files sorts in a fraction of a second.
#include "ui/FileNames.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mg {

// A byte string whose plain byte order is the names' natural order:
// letter case ignored for ASCII letters, runs of digits compared by their
// value (leading zeros ignored), spaces and punctuation before digits and
// digits before letters, each ASCII mark in the rank a collating file
// manager gives it; control characters ignored; bytes above 127 after the
// ASCII letters, by their value. Names with equal keys are told apart by
// their bytes (see NaturalNameLess).
std::string NaturalSortKey(std::string_view name);

// Natural order, then byte order for names it counts as equal.
bool NaturalNameLess(std::string_view a, std::string_view b);

// The names' places in that order: order[i] is the index of the name that
// comes i-th. Each name's key is computed once.
NameIndices NaturalOrder(const FileNames& names);

// Sorts names in that order.
void SortNaturally(std::vector<std::string>& names);

} // namespace mg
