# Script mode of quellon_embed_file: writes IN as a C++ string literal of
# hexadecimal escapes into OUT, 32 bytes a line. A string literal compiles far
# faster than a braced list of numbers; its terminating zero is not counted.
file(READ "${IN}" hex HEX)
file(SIZE "${IN}" size)

string(REPEAT "[0-9a-f]" 64 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" body "${hex}")
string(REGEX REPLACE "\n$" "" body "${body}")
string(REPLACE "\n" "\"\n    \"" body "${body}")

file(WRITE "${OUT}.tmp"
"// Generated from ${IN}; do not edit.
#include <cstddef>

namespace Embedded
{
extern const unsigned char ${NAME}[];
extern const std::size_t ${NAME}Size;

alignas (16) const unsigned char ${NAME}[] =
    \"${body}\";
const std::size_t ${NAME}Size = ${size};

static_assert (sizeof (${NAME}) == ${size} + 1, \"embedded block has the wrong size\");
} // namespace Embedded
")
file(RENAME "${OUT}.tmp" "${OUT}")
