// What an impulse-response import costs: reading the file, building the
// resampler's table, resampling both channels and filling the cabinet, for a
// stereo 24-bit impulse of one second (and one of ten) at several rates.
#include "Protocol/Resampler.h"
#include "Protocol/UserCabinetImporter.h"
#include "support/AudioFiles.h"

#include <benchmark/benchmark.h>
#include <juce_core/juce_core.h>

#include <array>
#include <map>

namespace
{
// Impulse files written once into a temporary folder, removed at exit.
class ImpulseFiles
{
public:
    ~ImpulseFiles() { (void) folder.deleteRecursively(); }

    std::string path (int rate, int seconds)
    {
        auto& path = paths[{ rate, seconds }];
        if (path.empty())
            path = write (rate, seconds);
        return path;
    }

private:
    std::string write (int rate, int seconds)
    {
        (void) folder.createDirectory();
        AudioFiles::WavFormat format;
        format.rate = (uint32_t) rate;
        format.channels = 2;
        format.bits = 24;
        const auto values = AudioFiles::impulseValues (rate * seconds, 2, 24);
        const auto bytes = AudioFiles::wav (format, AudioFiles::integerSamples (values, 24, false));

        const auto file = folder.getChildFile (juce::String (rate) + "-" + juce::String (seconds) + "s.wav");
        (void) file.replaceWithData (bytes.data(), bytes.size());
        return file.getFullPathName().toStdString();
    }

    juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile ("import-bench", "", false);
    std::map<std::pair<int, int>, std::string> paths;
};

ImpulseFiles files;

void importImpulse (benchmark::State& state)
{
    const auto path = files.path ((int) state.range (0), (int) state.range (1));
    std::array<std::uint32_t, 2048> samples {};

    for (auto _ : state)
    {
        const auto r = Korvalune::UserCabinetImporter::importFile (path.c_str(), samples.data());
        if (! r.ok)
            state.SkipWithError ("the import failed");
        benchmark::DoNotOptimize (samples.data());
    }
}

// The part of every resampled import that does not depend on the file.
void buildResamplerTable (benchmark::State& state)
{
    for (auto _ : state)
    {
        Korvalune::Resampler resampler (4096.0, 1.0 / 12.0, 12.0);
        benchmark::DoNotOptimize (resampler.coefficient (1));
    }
}
} // namespace

BENCHMARK (importImpulse)
    ->ArgNames ({ "rate", "seconds" })
    ->Args ({ 48000, 1 })
    ->Args ({ 44100, 1 })
    ->Args ({ 96000, 1 })
    ->Args ({ 192000, 1 })
    ->Args ({ 192000, 10 })
    ->Unit (benchmark::kMillisecond);
BENCHMARK (buildResamplerTable)->Unit (benchmark::kMillisecond);
