// The patterns of the back office's discount rules, matched against the parts of an article
// code. An article code (8 characters) reads as five parts: character 1 the main group
// (HoofdGroep), 2-3 the class (Klasse), 4-5 the brand (Merk), 6-7 the kind (Soort), 8 the type
// (Type). Codes and patterns are UTF-8 and are read by characters, never by bytes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar {

// The characters of UTF-8 text, each as the bytes that encode it; a byte that does not start a
// complete sequence counts as a character of its own.
std::vector<std::string_view> Utf8Characters(std::string_view text);

// The five parts of code, in the order above. A part the code is too short for is empty (or
// shorter than its width); characters after the eighth are not read.
std::array<std::string, 5> ArticleCodeParts(std::string_view code);

// Whether a rule's pattern covers part, tested in this order:
//  1. an empty part never matches;
//  2. "!" immediately followed by the part excludes it;
//  3. the pattern holding the part anywhere matches (a one-character part matches every
//     pattern that contains that character);
//  4. without a "*" nothing else matches;
//  5. the part's first character followed by "*" matches (3* for 35);
//  6. "*" followed by the part's second character matches (*5 for 35);
//  7. a free "*" matches: one whose neighbours (the characters just before and after it; the
//     pattern's start and end count as none) are not among 1 to 8. 0 and 9 bind no star.
// So "!13,1*" excludes 13, matches 15, not 25; "*" and "9*" match every non-empty part.
bool MatchCodePart(std::string_view part, std::string_view pattern);

}  // namespace kessmar
