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
} // namespace

Resampler::Resampler (double points, double minimum, double maximum)
    : pointsPerZeroCrossing (points), minimumFactor (minimum), maximumFactor (maximum)
{
    buildTable (kaiserBeta, rolloff);

    reachSamples = std::max (reachFor (minimumFactor), reachFor (maximumFactor));
    inputSize = std::max (2 * reachSamples + 10, 4096);
    inputBuffer.assign ((size_t) (inputSize + reachSamples), 0.0);
    outputBuffer.assign ((size_t) (inputSize * maximumFactor + 2.0), 0.0);

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
    coefficients.resize ((size_t) length);
    deltas.resize ((size_t) length);

    const double i0Beta = besselI0 (beta);

    for (int i = 0; i < length; ++i)
    {
        const double r = (double) i / (double) (length - 1);
        const double window = besselI0 (beta * std::sqrt (std::max (0.0, 1.0 - r * r))) / i0Beta;
        const double t = i * pi * (1.0 / pointsPerZeroCrossing);
        coefficients[(size_t) i] = i == 0 ? cutoff * window : std::sin (t * cutoff) * window / t;
    }

    for (int i = 0; i + 1 < length; ++i)
        deltas[(size_t) i] = coefficients[(size_t) i + 1] - coefficients[(size_t) i];

    deltas.back() = -coefficients.back();
}

void Resampler::reset()
{
    std::fill (inputBuffer.begin(), inputBuffer.begin() + reachSamples, 0.0);
    inputFill = reachSamples;
    time = reachSamples;
    outputHeld = 0;
}

int Resampler::process (double factor, const double* input, int inputCount, int* inputUsed, double* output)
{
    if (factor < minimumFactor || factor > maximumFactor)
        return -1;

    const double scale = factor < 1.0 ? factor : 1.0;
    int delivered = 0;

    if (outputHeld > 0)
    {
        delivered = deliver (output, maxOutputPerCall);

        if (outputHeld > 0)
            return delivered;
    }

    for (;;)
    {
        const int taken = std::clamp (inputCount - *inputUsed, 0, inputSize - inputFill);
        std::copy (input + *inputUsed, input + *inputUsed + taken, inputBuffer.data() + inputFill);
        *inputUsed += taken;
        inputFill += taken;

        // Until the input ends, the last reach samples wait for what follows them.
        int convertible = inputFill - 2 * reachSamples;

        if (*inputUsed >= inputCount)
        {
            convertible = inputFill - reachSamples;
            std::fill_n (inputBuffer.data() + inputFill, reachSamples, 0.0);
        }

        if (convertible <= 0)
            return delivered;

        outputHeld = factor >= 1.0 ? interpolateUp (convertible, factor) : interpolateDown (convertible, factor);

        for (int i = 0; i < outputHeld; ++i)
            outputBuffer[(size_t) i] *= scale;

        shiftInput();

        if (outputHeld == 0)
            continue;

        if (delivered < maxOutputPerCall)
            delivered += deliver (output + delivered, maxOutputPerCall - delivered);

        if (outputHeld > 0)
            return delivered;
    }
}

int Resampler::deliver (double* output, int wanted)
{
    const int count = std::min (wanted, outputHeld);
    std::copy_n (outputBuffer.data(), count, output);
    std::memmove (outputBuffer.data(), outputBuffer.data() + count, sizeof (double) * (size_t) (outputHeld - count));
    outputHeld -= count;
    return count;
}

void Resampler::shiftInput()
{
    // Keep reach samples of history before the next output's position.
    const int shift = (int) time - reachSamples;
    inputFill -= shift;
    time -= shift;
    std::memmove (inputBuffer.data(), inputBuffer.data() + shift, sizeof (double) * (size_t) inputFill);
}

int Resampler::interpolateUp (int count, double factor)
{
    // Each wing steps one zero crossing per input sample.
    return interpolate (count, factor, pointsPerZeroCrossing, (int) pointsPerZeroCrossing, 0.0);
}

int Resampler::interpolateDown (int count, double factor)
{
    // The filter is stretched by 1 / factor to cut below the output's Nyquist
    // frequency; its step through the table keeps a running fraction.
    const double step = std::min (pointsPerZeroCrossing, factor * pointsPerZeroCrossing);
    const double whole = std::floor (step);
    return interpolate (count, factor, step, (int) whole, step - whole);
}

int Resampler::interpolate (int count, double factor, double step, int whole, double part)
{
    const int length = wingLength();
    const double end = time + count;
    const double increment = 1.0 / factor;
    int produced = 0;

    while (time < end)
    {
        const int n = (int) time;
        const double phase = time - n;
        const double* at = inputBuffer.data() + n;

        outputBuffer[(size_t) produced++] = wingSum (phase * step, at, -1, whole, part, length)
                                          + wingSum ((1.0 - phase) * step, at + 1, 1, whole, part, length - 1);
        time += increment;
    }

    return produced;
}

double Resampler::wingSum (double position, const double* input, int direction, int whole, double part,
                           int limit) const
{
    int index = (int) position;
    double fraction = position - index;
    double sum = 0.0;

    for (; index < limit; input += direction)
    {
        sum += (coefficients[(size_t) index] + deltas[(size_t) index] * fraction) * *input;
        index += whole;
        fraction += part;

        if (fraction > 1.0)
        {
            fraction -= 1.0;
            ++index;
        }
    }

    return sum;
}

} // namespace Korvalune
