// What decoding the skin's images costs in resident memory: the process's
// resident set before and after the first request of an image, beside the
// image's own pixel bytes. The knob film strip dominates the editor's memory.
#include "Widgets/ImagePack.h"
#include "Widgets/ProgramResource.h"

#include <benchmark/benchmark.h>
#include <fstream>

namespace
{
double residentKiB()
{
    long pages = 0, resident = 0;
    std::ifstream ("/proc/self/statm") >> pages >> resident;
    return (double) resident * (double) sysconf (_SC_PAGESIZE) / 1024.0;
}

void decodeOnce (benchmark::State& state)
{
    const auto index = (std::uint32_t) state.range (0);
    const auto pack = lockProgramResource (imagePackResourceId);
    double grown = 0.0, pixels = 0.0;

    for (auto _ : state)
    {
        state.PauseTiming();
        ImagePack::create (makeMemoryPackReader (pack.data, pack.size), (std::uint32_t) pack.size);
        const double before = residentKiB();
        state.ResumeTiming();

        auto image = ImagePack::getImage (index);

        state.PauseTiming();
        grown = residentKiB() - before;
        juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);
        pixels = (double) data.lineStride * image.getHeight() / 1024.0;
        ImagePack::clearCache();
        state.ResumeTiming();
    }

    state.counters["resident_growth_KiB"] = grown;
    state.counters["pixel_KiB"] = pixels;
    state.SetLabel (ImagePack::fileNames[index]);
}
} // namespace

BENCHMARK (decodeOnce)
    ->Arg (ImagePack::fxDialFilm)
    ->Arg (ImagePack::background)
    ->Iterations (1)
    ->Unit (benchmark::kMillisecond);
