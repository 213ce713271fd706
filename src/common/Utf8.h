#pragma once
// UTF-8 helpers. File names keep their bytes for everything that touches the file system; what is
// shown and exported is valid UTF-8, with U+FFFD in place of each byte sequence that is not.

#include <cstddef>
#include <string>
#include <string_view>

namespace folvane {

bool IsValidUtf8(std::string_view text);
// The text with every invalid sequence replaced by U+FFFD (the text itself when it is valid).
std::string ValidUtf8(std::string_view text);
// Characters (code points) of the text as shown, counting each invalid sequence as one.
std::size_t CodePointCount(std::string_view text);

} // namespace folvane
