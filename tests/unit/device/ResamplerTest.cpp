#include "Protocol/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using Korvalune::Resampler;

namespace
{
constexpr double points = 4096.0;
constexpr double lowest = 1.0 / 12.0;
constexpr double highest = 12.0;
constexpr double pi = 3.14159265358979323846;

Resampler makeResampler()
{
    return Resampler (points, lowest, highest);
}

// Everything the resampler makes of `input`, called until it has no more.
std::vector<double> convertAll (Resampler& resampler, double factor, const std::vector<double>& input)
{
    std::vector<double> all;
    double block[Resampler::maxOutputPerCall];
    int used = 0;

    for (;;)
    {
        const int n = resampler.process (factor, input.data(), (int) input.size(), &used, block);
        EXPECT_GE (n, 0);
        if (n <= 0)
            return all;
        all.insert (all.end(), block, block + n);
    }
}

std::vector<double> randomSignal (size_t length, unsigned seed)
{
    std::mt19937 random (seed);
    std::uniform_real_distribution<double> value (-1.0, 1.0);
    std::vector<double> signal (length);
    for (auto& s : signal)
        s = value (random);
    return signal;
}

// The filter evaluated from its definition rather than from a table: a sinc
// with its first zero at 1 / 0.9 under a Kaiser window (beta 6) reaching to
// 17 zero crossings, with the table's last step fading linearly to zero.
class DirectFilter
{
public:
    // At a table position (zero crossings x points).
    double at (double position) const
    {
        if (position <= last)
            return exact (position);
        return exact (last) * (length - position);
    }

    // One output at input time t: the same taps the table walk visits,
    // the left wing up to the table's end, the right one a point short.
    double output (const std::vector<double>& x, double t, double factor) const
    {
        const double stretch = std::min (1.0, factor);
        const auto n = (long) std::floor (t);
        const double phase = t - (double) n;
        double sum = 0.0;

        for (long k = 0;; ++k)
        {
            const double position = (phase + (double) k) * stretch * points;
            if (std::floor (position) >= length)
                break;
            sum += at (position) * sample (x, n - k);
        }

        for (long k = 0;; ++k)
        {
            const double position = (1.0 - phase + (double) k) * stretch * points;
            if (std::floor (position) >= length - 1)
                break;
            sum += at (position) * sample (x, n + 1 + k);
        }

        return sum * stretch;
    }

private:
    static double sample (const std::vector<double>& x, long i)
    {
        return i >= 0 && i < (long) x.size() ? x[(size_t) i] : 0.0;
    }

    double exact (double position) const
    {
        const double r = position / (length - 1);
        const double window = std::cyl_bessel_i (0.0, 6.0 * std::sqrt (std::max (0.0, 1.0 - r * r))) / i0Beta;
        if (position == 0.0)
            return 0.9 * window;
        const double t = position * pi / points;
        return std::sin (0.9 * t) * window / t;
    }

    const double length = 69632.0;
    const double last = length - 1.0;
    const double i0Beta = std::cyl_bessel_i (0.0, 6.0);
};
// The conversion as first written, step by step: every input block is
// converted whole at once into a buffer of held output, from which each call
// delivers. The resampler must deliver exactly the same, bit for bit.
class BlockwiseReference
{
public:
    explicit BlockwiseReference (const Resampler& r) : filter (r), reach (r.reach())
    {
        for (int i = 0; i < r.wingLength(); ++i)
            deltas.push_back (i + 1 < r.wingLength() ? r.coefficient (i + 1) - r.coefficient (i) : -r.coefficient (i));
        reset();
    }

    void reset()
    {
        std::fill (input.begin(), input.begin() + reach, 0.0);
        fill = reach;
        time = reach;
        held.clear();
    }

    int process (double factor, const double* in, int count, int* used, double* out)
    {
        if (factor < lowest || factor > highest)
            return -1;
        int delivered = deliver (out, 1024);
        if (! held.empty())
            return delivered;
        for (;;)
        {
            const int n = std::min (4096 - fill, count - *used);
            std::copy (in + *used, in + *used + n, input.begin() + fill);
            *used += n;
            fill += n;
            int nx = fill - 2 * reach;
            if (*used == count)
            {
                nx = fill - reach;
                std::fill_n (input.begin() + fill, reach, 0.0);
            }
            if (nx <= 0)
                return delivered;
            const double step = factor >= 1.0 ? points : std::min (points, factor * points);
            for (const double end = time + nx; time < end; time += 1.0 / factor)
            {
                const int at = (int) time;
                const double p = time - at;
                held.push_back ((wing (p * step, at, -1, step, filter.wingLength())
                                 + wing ((1.0 - p) * step, at + 1, 1, step, filter.wingLength() - 1))
                                * (factor < 1.0 ? factor : 1.0));
            }
            const int shift = (int) time - reach;
            fill -= shift;
            time -= shift;
            std::copy (input.begin() + shift, input.begin() + shift + fill, input.begin());
            if (delivered < 1024)
                delivered += deliver (out + delivered, 1024 - delivered);
            if (! held.empty())
                return delivered;
        }
    }

private:
    double wing (double position, int at, int direction, double step, int limit) const
    {
        int index = (int) position;
        double fraction = position - index, sum = 0.0;
        const int whole = (int) std::floor (step);
        for (; index < limit; at += direction)
        {
            sum += (filter.coefficient (index) + deltas[(size_t) index] * fraction) * input[(size_t) at];
            index += whole;
            fraction += step - whole;
            if (fraction > 1.0)
            {
                fraction -= 1.0;
                ++index;
            }
        }
        return sum;
    }

    int deliver (double* out, int wanted)
    {
        const int n = std::min (wanted, (int) held.size());
        std::copy_n (held.begin(), n, out);
        held.erase (held.begin(), held.begin() + n);
        return n;
    }

    const Resampler& filter;
    const int reach;
    std::vector<double> deltas;
    std::vector<double> input = std::vector<double> (4096 + 226);
    std::vector<double> held;
    int fill = 0;
    double time = 0.0;
};
} // namespace

TEST (ResamplerTable, HoldsTheKaiserWindowedSincAtItsKnownPoints)
{
    auto resampler = makeResampler();
    ASSERT_EQ (resampler.wingLength(), 69632);
    EXPECT_EQ (resampler.reach(), 226);
    EXPECT_DOUBLE_EQ (resampler.coefficient (0), 0.9);
    EXPECT_NEAR (resampler.coefficient (2048), 0.6273, 5e-5);
    EXPECT_NEAR (resampler.coefficient (4096), 0.09744, 5e-6);

    // The first zero of sin(0.9 pi x) / x lies at 4096 / 0.9 = 4551.1 points.
    EXPECT_GT (resampler.coefficient (4551), 0.0);
    EXPECT_LT (resampler.coefficient (4552), 0.0);

    const DirectFilter direct;
    for (int i : { 1, 100, 4096, 10000, 40000, 69630, 69631 })
        EXPECT_NEAR (resampler.coefficient (i), direct.at (i), 1e-7) << i;

    auto again = makeResampler();
    for (int i = 0; i < resampler.wingLength(); i += 97)
        ASSERT_EQ (resampler.coefficient (i), again.coefficient (i));
}

TEST (ResamplerTable, BesselI0FollowsTheSeriesOnBothSidesOfItsSplit)
{
    EXPECT_NEAR (Resampler::besselI0 (6.0), 67.234, 5e-4);
    EXPECT_DOUBLE_EQ (Resampler::besselI0 (0.0), 1.0);
    EXPECT_EQ (Resampler::besselI0 (-2.5), Resampler::besselI0 (2.5));

    for (double x : { 0.1, 1.0, 3.0, 3.7499, 3.75, 4.0, 6.0, 10.0, 30.0 })
    {
        const double expected = std::cyl_bessel_i (0.0, x);
        EXPECT_NEAR (Resampler::besselI0 (x) / expected, 1.0, 5e-7) << x;
    }
}

TEST (ResamplerProcess, RefusesFactorsOutsideItsBoundsAndChangesNothing)
{
    auto resampler = makeResampler();
    const auto input = randomSignal (300, 1);
    double out[Resampler::maxOutputPerCall];
    int used = 0;

    for (double factor : { 12.5, 0.08, std::nan (""), std::numeric_limits<double>::infinity(), -1.0 })
        EXPECT_EQ (resampler.process (factor, input.data(), 300, &used, out), -1) << factor;

    EXPECT_EQ (used, 0);

    auto fresh = makeResampler();
    EXPECT_EQ (convertAll (resampler, 1.5, input), convertAll (fresh, 1.5, input));

    for (double factor : { highest, lowest })
    {
        resampler.reset();
        used = 0;
        EXPECT_GT (resampler.process (factor, input.data(), 300, &used, out), 0) << factor;
    }
}

TEST (ResamplerProcess, AtFactorOneAnImpulseComesBackInPlaceWithItsSideLobes)
{
    auto resampler = makeResampler();
    std::vector<double> input (100, 0.0);
    input[40] = 1.0;

    const auto out = convertAll (resampler, 1.0, input);
    ASSERT_EQ (out.size(), 100u);
    EXPECT_DOUBLE_EQ (out[40], 0.9);
    for (int k = 1; k < 17; ++k)
    {
        const double lobe = resampler.coefficient (k * 4096);
        EXPECT_DOUBLE_EQ (out[(size_t) (40 + k)], lobe) << k;
        EXPECT_DOUBLE_EQ (out[(size_t) (40 - k)], lobe) << k;
    }
    EXPECT_EQ (out[40 + 17], 0.0);
    EXPECT_EQ (out[40 - 17], 0.0);
}

TEST (ResamplerProcess, DeliversAtMost1024AndKeepsTheRestUntilReset)
{
    auto resampler = makeResampler();
    const auto input = randomSignal (1000, 2);
    const double factor = 48000.0 / 44100.0;
    double out[Resampler::maxOutputPerCall];
    int used = 0;

    EXPECT_EQ (resampler.process (factor, input.data(), 1000, &used, out), 1024);
    EXPECT_EQ (used, 1000);
    EXPECT_EQ (resampler.process (factor, input.data(), 1000, &used, out), 1089 - 1024);
    EXPECT_EQ (resampler.process (factor, input.data(), 1000, &used, out), 0);

    resampler.reset();
    used = 0;
    ASSERT_EQ (resampler.process (factor, input.data(), 1000, &used, out), 1024);
    resampler.reset();
    EXPECT_EQ (resampler.process (factor, input.data(), 1000, &used, out), 0);
}

TEST (ResamplerProcess, AnInputShorterThanTheReachIsConvertedInFull)
{
    auto resampler = makeResampler();
    const auto input = randomSignal (50, 3);
    EXPECT_EQ (convertAll (resampler, 2.0, input).size(), 100u);

    resampler.reset();
    EXPECT_EQ (convertAll (resampler, 0.5, input).size(), 25u);

    resampler.reset();
    EXPECT_TRUE (convertAll (resampler, 1.0, {}).empty());
}

TEST (ResamplerProcess, AgreesWithTheFilterEvaluatedDirectly)
{
    const DirectFilter direct;
    auto resampler = makeResampler();

    struct Case
    {
        double factor;
        size_t length;
    };
    // Long enough to cross the input buffer's 4096 samples where it matters.
    const Case cases[] = { { 48000.0 / 44100.0, 6000 }, { 0.5, 6000 }, { 0.25, 6000 }, { 1.0, 3000 },
                           { 2.0, 3000 }, { 0.9, 3000 }, { highest, 600 }, { lowest, 6000 } };

    unsigned seed = 10;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.factor);
        const auto input = randomSignal (c.length, seed++);
        resampler.reset();
        const auto out = convertAll (resampler, c.factor, input);

        // The last block ends where the running phase puts it: one output more at most.
        const auto expected = (size_t) std::ceil ((double) c.length * c.factor);
        ASSERT_GE (out.size(), expected);
        ASSERT_LE (out.size(), expected + 1);
        double worst = 0.0;
        for (size_t j = 0; j < out.size(); ++j)
            worst = std::max (worst, std::fabs (out[j] - direct.output (input, (double) j / c.factor, c.factor)));
        EXPECT_LT (worst, 2e-7);
    }
}

TEST (ResamplerProcess, ConvertsTheSameFromEveryResetState)
{
    const auto input = randomSignal (6000, 4);
    auto first = makeResampler();
    auto second = makeResampler();

    const auto a = convertAll (first, 0.25, input);
    (void) convertAll (second, 3.0, randomSignal (700, 5));
    second.reset();
    EXPECT_EQ (convertAll (second, 0.25, input), a);
    first.reset();
    EXPECT_EQ (convertAll (first, 0.25, input), a);
}

TEST (ResamplerProcess, DeliversBitForBitWhatWholeBlocksWouldGive)
{
    auto resampler = makeResampler();
    BlockwiseReference reference (resampler);
    const auto input = randomSignal (20000, 7);
    double a[Resampler::maxOutputPerCall], b[Resampler::maxOutputPerCall];

    // Factors that change from call to call, with output held over between
    // them, resets part way through a block, and calls after the end.
    const double factors[] = { 48000.0 / 44100.0, 0.25, 12.0, 0.5, 1.0, 1.0 / 12.0, 3.7, 0.9 };
    int usedA = 0, usedB = 0;
    int ends = 0;
    for (int call = 0; call < 600; ++call)
    {
        const double factor = factors[(size_t) call % 8];
        if (call % 37 == 36)
        {
            resampler.reset();
            reference.reset();
            usedA = usedB = call % 3 == 0 ? 0 : usedA;
        }
        const int n = resampler.process (factor, input.data(), 20000, &usedA, a);
        ASSERT_EQ (n, reference.process (factor, input.data(), 20000, &usedB, b)) << call;
        ASSERT_EQ (usedA, usedB) << call;
        for (int i = 0; i < n; ++i)
            ASSERT_EQ (a[i], b[i]) << call << " " << i;
        ends += n == 0 ? 1 : 0;
    }
    EXPECT_GT (ends, 0);
}
