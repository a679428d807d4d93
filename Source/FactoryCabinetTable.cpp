#include "FactoryCabinetTable.h"

#include "Application/InStreamWrapper.h"
#include "Embedded/factoryCabinet0.h"
#include "Embedded/factoryCabinet1.h"
#include "Embedded/factoryCabinet2.h"
#include "Embedded/factoryCabinet3.h"
#include "Embedded/factoryCabinet4.h"
#include "Embedded/factoryCabinet5.h"
#include "Embedded/factoryCabinet6.h"
#include "Protocol/KorvaluneDataFile.h"

#include <juce_core/juce_core.h>

namespace
{
FactoryCabinetTable::Row rowOf (const char* name, const unsigned char* text, std::size_t size)
{
    return { name, reinterpret_cast<const char*> (text), (std::uint32_t) size };
}
} // namespace

const std::array<FactoryCabinetTable::Row, FactoryCabinetTable::numRows>& FactoryCabinetTable::getRows()
{
    using namespace Embedded;

    static const std::array<Row, numRows> rows { rowOf ("BYPASS", factoryCabinet0, factoryCabinet0Size),
        rowOf ("1x12", factoryCabinet1, factoryCabinet1Size), rowOf ("1x15", factoryCabinet2, factoryCabinet2Size),
        rowOf ("2x15", factoryCabinet3, factoryCabinet3Size), rowOf ("4x10", factoryCabinet4, factoryCabinet4Size),
        rowOf ("8x10 Boogie", factoryCabinet5, factoryCabinet5Size),
        rowOf ("8x10 SVT", factoryCabinet6, factoryCabinet6Size) };
    return rows;
}

Korvalune::KorvaluneData::UserCabinetData FactoryCabinetTable::load (const Row& row)
{
    Korvalune::KorvaluneData::UserCabinetData cabinet;
    juce::MemoryInputStream text (row.text, row.size, false);
    Korvalune::InStreamWrapper in (&text);

    // The texts are built in and checked by the tests; a read that failed
    // would leave the default record, which is harmless to send.
    (void) Korvalune::readCabinetFile (in, cabinet);
    cabinet.name = row.name;
    return cabinet;
}
