#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Korvalune
{

// Matches one text line against a scanf-style pattern, the way the unit's
// text files have always been read, without scanf's undefined behaviour on
// numbers out of range and with a bounded text field.
//
// Pattern elements: a blank matches any run of white space, including none;
// "%d" a signed decimal and "%x" a hexadecimal number (both after optional
// white space, kept modulo 2^32); "%[^,]" one or more characters up to the
// first comma; any other character itself. Matching stops at the first
// mismatch; what counts is how many fields were converted before it.
class LineScanner
{
public:
    // Room of the "%[^,]" field; a longer text sets textTooLong.
    static constexpr std::size_t maxTextLength = 259;
    static constexpr std::size_t maxNumbers = 4;

    LineScanner (std::string_view line, std::string_view pattern);

    int converted() const { return numConverted; }
    std::uint32_t number (std::size_t i) const { return numbers[i]; }
    // The same number as written, its magnitude capped at 2^32: unlike
    // number(i) it never wraps, so that a range check on it holds.
    std::int64_t writtenNumber (std::size_t i) const { return writtenNumbers[i]; }
    const std::string& text() const { return textField; }
    bool textTooLong() const { return textOverflow; }

    static bool isBlank (std::string_view line);

private:
    void match (std::string_view pattern);
    bool scanNumber (int base);
    bool scanTextUpToComma();
    void skipSpace();
    bool atEnd() const { return pos >= line.size(); }

    std::string_view line;
    std::size_t pos = 0;
    int numConverted = 0;
    std::size_t numNumbers = 0;
    std::array<std::uint32_t, maxNumbers> numbers {};
    std::array<std::int64_t, maxNumbers> writtenNumbers {};
    std::string textField;
    bool textOverflow = false;
};

} // namespace Korvalune
