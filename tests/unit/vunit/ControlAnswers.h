#pragma once

#include <sstream>
#include <string>

// Reads a control client's text with `read (buffer, size)` (the count of
// bytes, 0 or less at the end) until `count` answers, lines "OK" or
// "ERR ...", have come; gives all the text read.
template <typename Read>
std::string readControlAnswers (Read read, int count)
{
    std::string text;
    char buffer[1024];

    auto answers = [&text] {
        int found = 0;
        std::istringstream lines (text);

        for (std::string line; std::getline (lines, line);)
            found += (line == "OK" || line.rfind ("ERR", 0) == 0) ? 1 : 0;

        return found;
    };

    while (answers() < count)
    {
        const auto n = read (buffer, sizeof (buffer));

        if (n <= 0)
            break;

        text.append (buffer, (std::size_t) n);
    }

    return text;
}
