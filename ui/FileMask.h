#pragma once
// Wildcard masks of the file list: pieces separated by ";", each matched
// against a file name with "*" (any run of characters) and "?" (one
// character: a UTF-8 sequence, or one byte of a name that is not UTF-8).
// Letter case is ignored by ASCII folding (A-Z against a-z); bytes above 127
// compare exactly, so names that are not UTF-8 still match byte for byte.
#include <string>
#include <string_view>
#include <vector>

namespace mg {

// True when the name matches the pattern. A pattern ending in ".*" also
// matches names that match it without that ending, so "*.*" matches every
// name, names without a dot included, and "a.*" matches "a". An empty
// pattern matches nothing.
bool MaskMatches(std::string_view pattern, std::string_view name);

// True when the pattern matches every name: one or more "*", maybe
// followed by ".*". Lets a folder reader skip matching for "*.*".
bool MatchesEveryName(std::string_view pattern);

// The pieces of a mask, split at every ";" and kept in order; empty pieces
// are kept (they find nothing). An empty mask gives one empty piece.
std::vector<std::string> SplitMask(std::string_view mask);

// True when the text holds "*" or "?".
bool HasWildcard(std::string_view text);

// Byte comparison with ASCII letters folded to lower case.
int CompareIgnoringCase(std::string_view a, std::string_view b);
bool EqualIgnoringCase(std::string_view a, std::string_view b);

} // namespace mg
