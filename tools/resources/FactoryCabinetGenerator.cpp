// Makes the seven factory cabinets that the editor carries, as "User Cabinet
// data" files of 25657 bytes:
//   quellon_cabinet_generator <folder>
// The output is committed under Resources/Cabinets; run this again after a
// change below and commit both.
//
// "BYPASS" is the default record, a unit impulse in each half. The others are
// synthetic speaker-cabinet responses at 48 kHz, 1024 samples: the excitation
// of a few drivers at slightly different distances plus two faint box
// reflections, shaped by the cabinet's low-end resonance (a resonant
// high-pass), a few bands of cone colour and a steep high roll-off, and faded
// out over the last quarter. Each is scaled so that the peak of its frequency
// response is 0 dB: no frequency comes out louder than through BYPASS, so
// choosing a cabinet never drives the unit's output harder than bypassing it.
// Both halves of a record hold the same response, as in the default record.
#include "Application/OutStreamWrapper.h"
#include "Protocol/KorvaluneData.h"
#include "Protocol/KorvaluneDataFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <juce_core/juce_core.h>
#include <vector>

using namespace Korvalune;
using namespace Korvalune::KorvaluneData;

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int length = (int) cabinetWords;
constexpr int fadeLength = length / 4;
const double pi = std::acos (-1.0);

// A second-order section of the usual audio-filter cookbook forms.
class Biquad
{
public:
    static Biquad highPass (double hz, double q) { return pass (hz, q, false); }
    static Biquad lowPass (double hz, double q) { return pass (hz, q, true); }

    static Biquad peak (double hz, double q, double gainDb)
    {
        const auto a = std::pow (10.0, gainDb / 40.0);
        const auto w = 2.0 * pi * hz / sampleRate;
        const auto alpha = std::sin (w) / (2.0 * q);
        return { 1.0 + alpha * a, -2.0 * std::cos (w), 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * std::cos (w),
            1.0 - alpha / a };
    }

    double process (double x)
    {
        const auto y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

private:
    Biquad (double nb0, double nb1, double nb2, double na0, double na1, double na2)
        : b0 (nb0 / na0)
        , b1 (nb1 / na0)
        , b2 (nb2 / na0)
        , a1 (na1 / na0)
        , a2 (na2 / na0)
    {
    }

    static Biquad pass (double hz, double q, bool low)
    {
        const auto w = 2.0 * pi * hz / sampleRate;
        const auto c = std::cos (w);
        const auto alpha = std::sin (w) / (2.0 * q);
        const auto outer = low ? (1.0 - c) / 2.0 : (1.0 + c) / 2.0;
        const auto middle = low ? 1.0 - c : -(1.0 + c);
        return { outer, middle, outer, 1.0 + alpha, -2.0 * c, 1.0 - alpha };
    }

    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
};

struct Tap
{
    double delayMs;
    double gain;
};

struct Band
{
    double hz, q, gainDb;
};

struct CabinetDesign
{
    const char* name;
    const char* fileName;
    std::uint32_t index;
    double resonanceHz, resonanceQ; // where and how sharply the low end is cut
    std::vector<Band> colour; // bumps and dips of the cones and the box
    double rollOffHz; // the top end falls at 24 dB per octave from here
    std::vector<Tap> drivers; // more cones, more comb filtering up high
};

// The six speaker cabinets, by size: smaller cones reach higher, larger ones
// resonate lower, and the farther cones of a large cabinet, heard more faintly
// by a microphone at the nearest one, add comb filtering in the top octaves.
const std::vector<CabinetDesign> designs {
    { "1x12", "1x12.cab", 0, 95.0, 1.1, { { 180.0, 1.0, 2.0 }, { 520.0, 1.2, -3.0 }, { 2400.0, 1.6, 5.0 } }, 5200.0,
        { { 0.0, 1.0 } } },
    { "1x15", "1x15.cab", 1, 62.0, 1.2, { { 110.0, 0.9, 3.0 }, { 1200.0, 1.4, 4.0 }, { 2600.0, 2.5, -4.0 } }, 3200.0,
        { { 0.0, 1.0 } } },
    { "2x15", "2x15.cab", 2, 55.0, 1.3, { { 120.0, 0.8, 3.5 }, { 900.0, 1.2, 3.0 }, { 2300.0, 2.0, -3.0 } }, 3500.0,
        { { 0.0, 1.0 }, { 0.17, 0.5 } } },
    { "4x10", "4x10.cab", 0, 80.0, 1.0, { { 160.0, 1.0, 1.5 }, { 2800.0, 1.5, 6.0 }, { 4500.0, 2.0, 3.0 } }, 6000.0,
        { { 0.0, 1.0 }, { 0.06, 0.55 }, { 0.13, 0.45 }, { 0.21, 0.35 } } },
    { "8x10 Boogie", "8x10_Boogie.cab", 1, 70.0, 1.1,
        { { 140.0, 0.9, 2.5 }, { 600.0, 1.0, -4.0 }, { 3000.0, 1.4, 4.5 } }, 5000.0,
        { { 0.0, 1.0 }, { 0.04, 0.5 }, { 0.09, 0.4 }, { 0.13, 0.35 }, { 0.19, 0.3 }, { 0.24, 0.25 }, { 0.3, 0.2 },
            { 0.37, 0.18 } } },
    { "8x10 SVT", "8x10_SVT.cab", 2, 60.0, 1.4, { { 100.0, 0.8, 4.0 }, { 700.0, 1.0, 2.0 }, { 1800.0, 1.3, 5.0 } },
        4200.0,
        { { 0.0, 1.0 }, { 0.05, 0.55 }, { 0.1, 0.45 }, { 0.15, 0.38 }, { 0.21, 0.32 }, { 0.26, 0.27 }, { 0.33, 0.22 },
            { 0.4, 0.2 } } },
};

int samplesOf (double ms)
{
    return (int) std::lround (ms * sampleRate / 1000.0);
}

// The drivers' arrivals and two faint reflections off the box's walls.
std::vector<double> excitation (const CabinetDesign& design)
{
    std::vector<double> x ((std::size_t) length, 0.0);

    // More cones share the same output: the array's gains add up to one.
    double total = 0.0;
    for (const auto& driver : design.drivers)
        total += driver.gain;

    for (const auto& driver : design.drivers)
        x[(std::size_t) samplesOf (driver.delayMs)] += driver.gain / total;

    x[(std::size_t) samplesOf (1.9)] += 0.12;
    x[(std::size_t) samplesOf (3.4)] -= 0.07;
    return x;
}

// The largest gain of the response between 20 Hz and 20 kHz, looked at in
// steps of a 48th of an octave.
double responsePeak (const std::vector<double>& samples)
{
    double peak = 0.0;

    for (double hz = 20.0; hz <= 20000.0; hz *= std::pow (2.0, 1.0 / 48.0))
    {
        double re = 0.0, im = 0.0;
        const auto w = 2.0 * pi * hz / sampleRate;

        for (std::size_t n = 0; n < samples.size(); ++n)
        {
            re += samples[n] * std::cos (w * (double) n);
            im -= samples[n] * std::sin (w * (double) n);
        }

        peak = std::max (peak, std::hypot (re, im));
    }

    return peak;
}

std::vector<double> response (const CabinetDesign& design)
{
    std::vector<Biquad> chain { Biquad::highPass (design.resonanceHz, design.resonanceQ),
        Biquad::highPass (design.resonanceHz * 0.5, 0.5) };

    for (const auto& band : design.colour)
        chain.push_back (Biquad::peak (band.hz, band.q, band.gainDb));

    // Two sections make the 24 dB per octave of a cone running out of range.
    chain.push_back (Biquad::lowPass (design.rollOffHz, 0.54));
    chain.push_back (Biquad::lowPass (design.rollOffHz, 1.31));

    auto samples = excitation (design);

    for (auto& sample : samples)
        for (auto& section : chain)
            sample = section.process (sample);

    // A cut-off tail would add a click of its own; fade it out instead.
    for (int i = 0; i < fadeLength; ++i)
        samples[(std::size_t) (length - fadeLength + i)] *= 0.5 * (1.0 + std::cos (pi * (i + 1) / fadeLength));

    const auto gain = 1.0 / responsePeak (samples);

    for (auto& s : samples)
        s *= gain;

    return samples;
}

std::uint32_t floatBits (double value)
{
    const auto f = (float) value;
    std::uint32_t bits;
    std::memcpy (&bits, &f, sizeof (bits));
    return bits;
}

UserCabinetData cabinetOf (const CabinetDesign& design)
{
    UserCabinetData cabinet;
    cabinet.name = design.name;
    const auto samples = response (design);

    for (std::size_t i = 0; i < cabinetWords; ++i)
        cabinet.samples[i] = cabinet.samples[i + cabinetWords] = floatBits (samples[i]);

    return cabinet;
}

bool writeCabinet (const UserCabinetData& cabinet, std::uint32_t index, const juce::File& file)
{
    juce::MemoryOutputStream text;
    OutStreamWrapper out (&text);

    if (!writeCabinetFile (cabinet, out, index).ok || !file.replaceWithData (text.getData(), text.getDataSize()))
    {
        std::fprintf (stderr, "cannot write %s\n", file.getFullPathName().toRawUTF8());
        return false;
    }

    return true;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }

    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    if (!folder.createDirectory())
    {
        std::fprintf (stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    UserCabinetData bypass;
    bypass.name = "BYPASS";
    bool ok = writeCabinet (bypass, 0, folder.getChildFile ("BYPASS.cab"));

    for (const auto& design : designs)
        ok = writeCabinet (cabinetOf (design), design.index, folder.getChildFile (design.fileName)) && ok;

    return ok ? 0 : 1;
}
