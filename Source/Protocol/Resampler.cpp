#include "Protocol/Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Korvalune
{

namespace
{
constexpr double pi = 3.14159265358979323846;
constexpr double kaiserBeta = 6.0;
constexpr double rolloff = 0.9;
constexpr double zeroCrossings = 34.0 * 0.5;   // per wing

int reachFor (double factor)
{
    return (int) (18.0 * std::max (1.0, 1.0 / factor) + 10.0);
}

// One step along a wing: whole table points and a running fraction that
// carries into the index once it passes 1.
inline void advance (int& index, double& fraction, int whole, double part)
{
    fraction += part;
    const bool carry = fraction > 1.0;
    fraction -= carry ? 1.0 : 0.0;
    index += whole + (carry ? 1 : 0);
}
} // namespace

Resampler::Resampler (double points, double minimum, double maximum)
    : pointsPerZeroCrossing (points), minimumFactor (minimum), maximumFactor (maximum)
{
    buildTable (kaiserBeta, rolloff);

    reachSamples = std::max (reachFor (minimumFactor), reachFor (maximumFactor));
    inputSize = std::max (2 * reachSamples + 10, 4096);
    inputBuffer.assign ((std::size_t) (inputSize + reachSamples), 0.0);

    reset();
}

double Resampler::besselI0 (double x)
{
    const double ax = std::fabs (x);

    if (ax < 3.75)
    {
        const double t = (x / 3.75) * (x / 3.75);
        return 1.0
             + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))));
    }

    const double t = 3.75 / ax;
    const double series = 0.39894228
                        + t * (0.01328592
                               + t * (0.00225319
                                      + t * (-0.00157565
                                             + t * (0.00916281
                                                    + t * (-0.02057706
                                                           + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
    return series * std::exp (ax) / std::sqrt (ax);
}

void Resampler::buildTable (double beta, double cutoff)
{
    // At least two points, so that the window's span (length - 1) is never zero.
    const int length = std::max (2, (int) (pointsPerZeroCrossing * zeroCrossings));
    table.resize ((std::size_t) length);

    const double i0Beta = besselI0 (beta);

    for (int i = 0; i < length; ++i)
    {
        const double r = (double) i / (double) (length - 1);
        const double window = besselI0 (beta * std::sqrt (std::max (0.0, 1.0 - r * r))) / i0Beta;
        const double t = i * pi * (1.0 / pointsPerZeroCrossing);
        table[(std::size_t) i].coefficient = i == 0 ? cutoff * window : std::sin (t * cutoff) * window / t;
    }

    // The last point steps down to zero.
    for (std::size_t i = 0; i + 1 < table.size(); ++i)
        table[i].delta = table[i + 1].coefficient - table[i].coefficient;

    table.back().delta = -table.back().coefficient;
}

void Resampler::reset()
{
    std::fill (inputBuffer.begin(), inputBuffer.begin() + reachSamples, 0.0);
    inputFill = reachSamples;
    time = reachSamples;
    held = 0;
}

int Resampler::process (double factor, const double* input, int inputCount, int* inputUsed, double* output)
{
    // Written so that a factor that is not a number fails it too.
    if (! (factor >= minimumFactor && factor <= maximumFactor))
        return -1;

    int delivered = 0;

    if (held > 0)
    {
        delivered = deliver (output, maxOutputPerCall);

        if (held > 0)
            return delivered;
    }

    for (;;)
    {
        const int convertible = takeInput (input, inputCount, inputUsed);

        if (convertible <= 0)
            return delivered;

        startBlock (factor, convertible);

        if (delivered < maxOutputPerCall)
            delivered += deliver (output + delivered, maxOutputPerCall - delivered);

        if (held > 0)
            return delivered;
    }
}

int Resampler::takeInput (const double* input, int inputCount, int* inputUsed)
{
    const int taken = std::clamp (inputCount - *inputUsed, 0, inputSize - inputFill);
    std::copy (input + *inputUsed, input + *inputUsed + taken, inputBuffer.data() + inputFill);
    *inputUsed += taken;
    inputFill += taken;

    // Once the input has ended, zeros stand in for what would follow it;
    // until then the last reach samples wait for what follows them.
    if (*inputUsed >= inputCount)
    {
        std::fill_n (inputBuffer.data() + inputFill, reachSamples, 0.0);
        return inputFill - reachSamples;
    }

    return inputFill - 2 * reachSamples;
}

void Resampler::startBlock (double factor, int convertible)
{
    // Below a factor of 1 the filter is stretched by 1 / factor to cut below
    // the output's Nyquist frequency, and scaled down to keep its gain.
    block.scale = factor < 1.0 ? factor : 1.0;
    block.increment = 1.0 / factor;
    block.step = factor >= 1.0 ? pointsPerZeroCrossing : std::min (pointsPerZeroCrossing, factor * pointsPerZeroCrossing);
    block.whole = (int) std::floor (block.step);
    block.part = factor >= 1.0 ? 0.0 : block.step - block.whole;

    // The block yields an output for every time before its end; count them
    // with the very additions that delivering them will make.
    const double end = time + convertible;
    held = 0;

    for (double t = time; t < end; t += block.increment)
        ++held;
}

int Resampler::deliver (double* output, int wanted)
{
    const int count = std::min (wanted, held);

    for (int i = 0; i < count; ++i)
    {
        output[i] = outputAt (time) * block.scale;
        time += block.increment;
    }

    held -= count;

    if (held == 0)
        finishBlock();

    return count;
}

void Resampler::finishBlock()
{
    // Keep reach samples of history before the next output's position.
    const int shift = (int) time - reachSamples;
    inputFill -= shift;
    time -= shift;
    std::memmove (inputBuffer.data(), inputBuffer.data() + shift, sizeof (double) * (std::size_t) inputFill);
}

double Resampler::outputAt (double at) const
{
    const int n = (int) at;
    const double phase = at - n;
    const Tap* taps = table.data();
    const int length = (int) table.size();

    // The left wing walks back through the input from sample n, the right
    // one forward from n + 1, each through the table from its own phase.
    const double* left = inputBuffer.data() + n;
    const double* right = left + 1;
    const double leftPosition = phase * block.step, rightPosition = (1.0 - phase) * block.step;
    int leftIndex = (int) leftPosition, rightIndex = (int) rightPosition;
    double leftFraction = leftPosition - leftIndex, rightFraction = rightPosition - rightIndex;
    double leftSum = 0.0, rightSum = 0.0;

    // Two sums kept apart, each in its own order, so the wings run side by side.
    for (; leftIndex < length && rightIndex < length - 1; --left, ++right)
    {
        leftSum += (taps[leftIndex].coefficient + taps[leftIndex].delta * leftFraction) * *left;
        rightSum += (taps[rightIndex].coefficient + taps[rightIndex].delta * rightFraction) * *right;
        advance (leftIndex, leftFraction, block.whole, block.part);
        advance (rightIndex, rightFraction, block.whole, block.part);
    }

    for (; leftIndex < length; --left)
    {
        leftSum += (taps[leftIndex].coefficient + taps[leftIndex].delta * leftFraction) * *left;
        advance (leftIndex, leftFraction, block.whole, block.part);
    }

    for (; rightIndex < length - 1; ++right)
    {
        rightSum += (taps[rightIndex].coefficient + taps[rightIndex].delta * rightFraction) * *right;
        advance (rightIndex, rightFraction, block.whole, block.part);
    }

    return leftSum + rightSum;
}

} // namespace Korvalune
