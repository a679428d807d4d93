#pragma once

#include <cstddef>
#include <vector>

namespace Korvalune
{

// Band-limited sample-rate conversion: each output sample is the sum of the
// input samples around it weighted by a Kaiser-windowed sinc (17 zero
// crossings per wing, cutoff at 0.9 of the lower Nyquist frequency, beta 6),
// read from a table and interpolated linearly between its points. Input
// history and undelivered output carry over from one call to the next, so a
// long signal can be fed in pieces.
//
// Owns: the filter table and its two buffers, all allocated at construction;
// process allocates nothing. Threads: one at a time.
class Resampler
{
public:
    // Output samples delivered per process call at the most.
    static constexpr int maxOutputPerCall = 1024;

    Resampler (double pointsPerZeroCrossing, double minimumFactor, double maximumFactor);
    virtual ~Resampler() = default;

    // Forgets all input history and held output; the table stays.
    void reset();

    // Converts input by `factor` (output rate / input rate) into `output`,
    // which has room for maxOutputPerCall samples, and returns the number
    // written, or -1 when the factor lies outside the bounds given at
    // construction. `*inputUsed` counts the input samples already taken and
    // is advanced. The input is the end of the signal: once all of it is
    // taken, zeros follow so that its last samples come out too.
    int process (double factor, const double* input, int inputCount, int* inputUsed, double* output);

    // The modified Bessel function I0, by Abramowitz and Stegun 9.8.1 and 9.8.2.
    static double besselI0 (double x);

    int wingLength() const { return (int) coefficients.size(); }
    double coefficient (int i) const { return coefficients[(std::size_t) i]; }
    int reach() const { return reachSamples; }

private:
    void buildTable (double beta, double rolloff);
    int deliver (double* output, int wanted);
    void shiftInput();
    int interpolateUp (int count, double factor);
    int interpolateDown (int count, double factor);
    int interpolate (int count, double factor, double step, int whole, double part);
    double wingSum (double position, const double* input, int direction, int whole, double part, int limit) const;

    const double pointsPerZeroCrossing;
    const double minimumFactor;
    const double maximumFactor;
    double time = 0.0;

    std::vector<double> coefficients;
    std::vector<double> deltas;
    int reachSamples = 0;
    int inputSize = 0;
    int inputFill = 0;
    std::vector<double> inputBuffer;    // inputSize + reach samples
    std::vector<double> outputBuffer;
    int outputHeld = 0;
};

} // namespace Korvalune
