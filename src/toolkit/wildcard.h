// Browse filters: the wildcard patterns of the OPC browse interfaces. `*` any run of characters,
// `?` one character, `#` one digit, `[abc]` / `[a-z]` one of a set, `[!abc]` one not in it.
// Matching is exact in letter case; an empty pattern matches everything.
#pragma once

#include <string_view>

namespace corvid::toolkit {

bool MatchesFilter(std::u16string_view text, std::u16string_view pattern);

}  // namespace corvid::toolkit
