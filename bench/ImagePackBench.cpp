// What the skin costs at start-up: reading the pack's directory, decoding the
// images the main view asks for on first use, and asking again once cached.
#include "Widgets/ImagePack.h"
#include "Widgets/ProgramResource.h"

#include <benchmark/benchmark.h>

namespace
{
const ProgramResource pack = lockProgramResource (imagePackResourceId);

bool createPack()
{
    return ImagePack::create (makeMemoryPackReader (pack.data, pack.size), (std::uint32_t) pack.size);
}

void readDirectory (benchmark::State& state)
{
    PackDirectory directory;
    const auto reader = makeMemoryPackReader (pack.data, pack.size);
    for (auto _ : state)
        benchmark::DoNotOptimize (readPackDirectory (reader, (std::uint32_t) pack.size, directory));
}

// A first request: read the body and decode it.
void firstRequest (benchmark::State& state)
{
    const auto index = (std::uint32_t) state.range (0);
    for (auto _ : state)
    {
        state.PauseTiming();
        createPack();
        state.ResumeTiming();
        benchmark::DoNotOptimize (ImagePack::getImage (index));
    }
    state.SetLabel (ImagePack::fileNames[index]);
}

// Every later request, served from the cache.
void cachedRequest (benchmark::State& state)
{
    createPack();
    (void) ImagePack::getImage (ImagePack::fxDialFilm);
    for (auto _ : state)
        benchmark::DoNotOptimize (ImagePack::getImage (ImagePack::fxDialFilm));
}
} // namespace

BENCHMARK (readDirectory);
BENCHMARK (firstRequest)->Arg (ImagePack::background)->Arg (ImagePack::fxDialFilm)->Arg (ImagePack::closeOn)->Unit (benchmark::kMillisecond);
BENCHMARK (cachedRequest);
