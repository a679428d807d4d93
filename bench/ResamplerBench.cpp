// The resampler beside libsamplerate's SRC_SINC_FASTEST and
// SRC_SINC_MEDIUM_QUALITY, converting the same one-second signals to 48000 Hz:
// the time of the import's call (the first 1024 output samples) and of the
// whole second, and the quality of each converter as the worst alias or image
// level over a stepped sine sweep.
#include "Protocol/Resampler.h"

#include <benchmark/benchmark.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace
{
constexpr double outputRate = 48000.0;
constexpr double pi = 3.14159265358979323846;

enum Converter
{
    ours = -1,
    fastest = SRC_SINC_FASTEST,
    medium = SRC_SINC_MEDIUM_QUALITY
};

const char* nameOf (int converter)
{
    return converter == ours ? "Resampler" : converter == fastest ? "SRC_SINC_FASTEST" : "SRC_SINC_MEDIUM_QUALITY";
}

// One converter, set up once; convert() starts from a reset state each time.
class Conversion
{
public:
    Conversion (int converter, double inputRate) : type (converter), factor (outputRate / inputRate)
    {
        if (type != ours)
        {
            int error = 0;
            src.reset (src_new (type, 1, &error));
        }
    }

    // Converts `input` (float and double copies of the same samples) into
    // `output`, stopping when it is full or the input has all come out.
    long convert (const std::vector<double>& input, const std::vector<float>& inputFloats, std::vector<double>& output)
    {
        return type == ours ? convertOurs (input, output) : convertSrc (inputFloats, output);
    }

private:
    long convertOurs (const std::vector<double>& input, std::vector<double>& output)
    {
        resampler.reset();
        int used = 0;
        long made = 0;

        while (made + Korvalune::Resampler::maxOutputPerCall <= (long) output.size())
        {
            const int n = resampler.process (factor, input.data(), (int) input.size(), &used, output.data() + made);
            if (n <= 0)
                break;
            made += n;
        }

        return made;
    }

    long convertSrc (const std::vector<float>& input, std::vector<double>& output)
    {
        floats.resize (output.size());
        src_reset (src.get());

        SRC_DATA data {};
        data.data_in = input.data();
        data.input_frames = (long) input.size();
        data.data_out = floats.data();
        data.output_frames = (long) floats.size();
        data.end_of_input = 1;
        data.src_ratio = factor;
        src_process (src.get(), &data);

        std::copy_n (floats.begin(), data.output_frames_gen, output.begin());
        return data.output_frames_gen;
    }

    struct SrcDelete
    {
        void operator() (SRC_STATE* s) const { src_delete (s); }
    };

    const int type;
    const double factor;
    Korvalune::Resampler resampler { 4096.0, 1.0 / 12.0, 12.0 };
    std::unique_ptr<SRC_STATE, SrcDelete> src;
    std::vector<float> floats;
};

std::vector<double> sine (double frequency, double rate, size_t length)
{
    std::vector<double> s (length);
    for (size_t i = 0; i < length; ++i)
        s[i] = 0.5 * std::sin (2.0 * pi * frequency * (double) i / rate);
    return s;
}

std::vector<float> floatsOf (const std::vector<double>& s)
{
    return { s.begin(), s.end() };
}

// The level, relative to the tone, of everything in `y` that is not a sine of
// `frequency` (all of y when the tone lies above the output's Nyquist
// frequency and should be gone), over its steady middle part.
double spuriousLevel (const std::vector<double>& y, double frequency)
{
    const size_t skip = y.size() / 10, end = y.size() - skip;
    double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0;
    const bool inBand = frequency < outputRate / 2;
    const double w = 2.0 * pi * frequency / outputRate;

    if (inBand)
        for (size_t n = skip; n < end; ++n)
        {
            const double c = std::cos (w * (double) n), s = std::sin (w * (double) n);
            cc += c * c, ss += s * s, cs += c * s, yc += y[n] * c, ys += y[n] * s;
        }

    // Least squares a cos + b sin.
    const double det = cc * ss - cs * cs;
    const double a = inBand ? (yc * ss - ys * cs) / det : 0.0;
    const double b = inBand ? (ys * cc - yc * cs) / det : 0.0;

    double residual = 0;
    for (size_t n = skip; n < end; ++n)
    {
        const double r = y[n] - a * std::cos (w * (double) n) - b * std::sin (w * (double) n);
        residual += r * r;
    }

    const double toneRms = 0.5 / std::sqrt (2.0);
    return 20.0 * std::log10 (std::sqrt (residual / (double) (end - skip)) / toneRms + 1e-20);
}

struct Quality
{
    double inBand;       // tones from 20 Hz to 20 kHz
    double aboveBand;    // tones the output cannot hold; none when upsampling
};

// A stepped sweep: 40 tones spread evenly over each range.
Quality measureQuality (int converter, double inputRate)
{
    Conversion conversion (converter, inputRate);
    std::vector<double> output ((size_t) outputRate + 4096);
    Quality q { -300.0, -300.0 };

    auto sweep = [&] (double from, double to, double& worst) {
        for (int k = 0; k < 40; ++k)
        {
            const double f = from + (to - from) * k / 39.0;
            const auto in = sine (f, inputRate, (size_t) inputRate);
            output.assign (output.size(), 0.0);
            const auto made = conversion.convert (in, floatsOf (in), output);
            worst = std::max (worst, spuriousLevel ({ output.begin(), output.begin() + made }, f));
        }
    };

    sweep (20.0, 20000.0, q.inBand);
    if (inputRate > outputRate)
        sweep (outputRate / 2 + 1000.0, 0.9 * inputRate / 2, q.aboveBand);
    return q;
}

const Quality& qualityOf (int converter, double inputRate)
{
    static std::map<std::pair<int, double>, Quality> measured;
    auto found = measured.find ({ converter, inputRate });
    if (found == measured.end())
        found = measured.emplace (std::make_pair (converter, inputRate), measureQuality (converter, inputRate)).first;
    return found->second;
}

// A broadband test signal: noise shaped like a decaying impulse response.
std::vector<double> testSignal (double rate)
{
    std::vector<double> s ((size_t) rate);
    uint32_t x = 12345;
    for (size_t i = 0; i < s.size(); ++i)
    {
        x = x * 1664525u + 1013904223u;
        s[i] = ((double) (x >> 8) / 16777216.0 - 0.5) * std::exp (-(double) i / rate * 8.0);
    }
    return s;
}

// range(0): the converter; range(1): the input rate; range(2): output samples
// wanted (0 for the whole second).
void convertSecond (benchmark::State& state)
{
    const int converter = (int) state.range (0);
    const double rate = (double) state.range (1);
    const auto input = testSignal (rate);
    const auto inputFloats = floatsOf (input);
    const size_t wanted = state.range (2) > 0 ? (size_t) state.range (2) : (size_t) outputRate + 4096;
    std::vector<double> output (wanted);
    Conversion conversion (converter, rate);

    long made = 0;
    for (auto _ : state)
    {
        made = conversion.convert (input, inputFloats, output);
        benchmark::DoNotOptimize (output.data());
    }

    const auto& quality = qualityOf (converter, rate);
    state.SetLabel (nameOf (converter));
    state.SetItemsProcessed (state.iterations() * made);
    state.counters["worst_in_band_dB"] = quality.inBand;
    state.counters["worst_alias_dB"] = quality.aboveBand;
}

void arguments (benchmark::internal::Benchmark* b)
{
    b->ArgNames ({ "converter", "rate", "outputs" });
    for (long wanted : { 1024L, 0L })
        for (long rate : { 44100L, 96000L, 192000L })
            for (long converter : { (long) ours, (long) fastest, (long) medium })
                b->Args ({ converter, rate, wanted });
}
} // namespace

BENCHMARK (convertSecond)->Apply (arguments)->Unit (benchmark::kMicrosecond);
