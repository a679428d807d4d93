#pragma once

#include "Protocol/KorvaluneData.h"

#include <array>
#include <cstdint>

// The seven factory cabinets the editor carries, in the order of the cabinet
// menu: "BYPASS", "1x12", "1x15", "2x15", "4x10", "8x10 Boogie", "8x10 SVT".
// Each text is a complete "User Cabinet data" file of 25657 bytes built into
// the program (made by tools/resources/FactoryCabinetGenerator.cpp).
//
// Constant data; load keeps no state, so any thread may call it.
class FactoryCabinetTable
{
public:
    struct Row
    {
        const char* name;
        const char* text; // the data file, not zero-terminated
        std::uint32_t size; // its length in bytes
    };

    static constexpr int numRows = 7;

    static const std::array<Row, numRows>& getRows();

    // The row's cabinet: its text read as a cabinet file, named after the row
    // whatever name the text itself holds.
    static Korvalune::KorvaluneData::UserCabinetData load (const Row& row);

private:
    FactoryCabinetTable() = delete;
};
