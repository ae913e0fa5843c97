#pragma once
// Letter case as Wine ignores it in file and registry names: Unicode simple case folding, one
// code point for one, so a name never changes length in characters. Bytes that are not UTF-8
// stay as they are and match only themselves.
#include <string>
#include <string_view>

namespace base {

// The UTF-8 text with every character case-folded.
std::string FoldCase(std::string_view utf8);

// True when both texts fold to the same characters.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace base
