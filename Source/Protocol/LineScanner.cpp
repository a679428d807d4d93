#include "Protocol/LineScanner.h"

#include <algorithm>
#include <cctype>

namespace Korvalune
{

namespace
{
bool isSpace (char c) { return std::isspace ((unsigned char) c) != 0; }

int digitValue (char c, int base)
{
    int value = -1;

    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;

    return value < base ? value : -1;
}
} // namespace

LineScanner::LineScanner (std::string_view l, std::string_view pattern) : line (l)
{
    match (pattern);
}

bool LineScanner::isBlank (std::string_view text)
{
    for (char c : text)
        if (! isSpace (c))
            return false;

    return true;
}

void LineScanner::match (std::string_view pattern)
{
    for (std::size_t p = 0; p < pattern.size(); ++p)
    {
        const char c = pattern[p];

        if (isSpace (c))
        {
            skipSpace();
            continue;
        }

        if (c == '%')
        {
            const auto rest = pattern.substr (p + 1);
            bool ok = false;

            if (rest.substr (0, 1) == "d")
                ok = scanNumber (10), p += 1;
            else if (rest.substr (0, 1) == "x")
                ok = scanNumber (16), p += 1;
            else if (rest.substr (0, 4) == "[^,]")
                ok = scanTextUpToComma(), p += 4;

            if (! ok)
                return;

            ++numConverted;
            continue;
        }

        if (atEnd() || line[pos] != c)
            return;

        ++pos;
    }
}

void LineScanner::skipSpace()
{
    while (! atEnd() && isSpace (line[pos]))
        ++pos;
}

bool LineScanner::scanNumber (int base)
{
    if (numNumbers >= maxNumbers)
        return false;

    skipSpace();

    bool negative = false;

    if (! atEnd() && (line[pos] == '+' || line[pos] == '-'))
        negative = line[pos++] == '-';

    // Like scanf, "%x" takes an optional 0x prefix.
    if (base == 16 && pos + 2 < line.size() && line[pos] == '0'
        && (line[pos + 1] == 'x' || line[pos + 1] == 'X') && digitValue (line[pos + 2], 16) >= 0)
        pos += 2;

    constexpr std::uint64_t magnitudeCap = std::uint64_t { 1 } << 32;
    std::uint32_t value = 0;
    std::uint64_t magnitude = 0;
    std::size_t digits = 0;

    for (; ! atEnd() && digitValue (line[pos], base) >= 0; ++pos, ++digits)
    {
        const auto digit = (std::uint32_t) digitValue (line[pos], base);
        value = value * (std::uint32_t) base + digit;
        magnitude = std::min (magnitude * (std::uint64_t) base + digit, magnitudeCap);
    }

    if (digits == 0)
        return false;

    numbers[numNumbers] = negative ? 0u - value : value;
    writtenNumbers[numNumbers] = negative ? -(std::int64_t) magnitude : (std::int64_t) magnitude;
    ++numNumbers;
    return true;
}

bool LineScanner::scanTextUpToComma()
{
    const auto start = pos;

    while (! atEnd() && line[pos] != ',')
        ++pos;

    if (pos == start)
        return false;

    const auto length = pos - start;
    textOverflow = length > maxTextLength;
    textField.assign (line.substr (start, std::min (length, maxTextLength)));
    return true;
}

} // namespace Korvalune
