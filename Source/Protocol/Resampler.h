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
// Input is taken in blocks of up to 4096 samples; the outputs a block yields
// are computed as they are delivered, so a call that wants 1024 samples costs
// 1024 samples' work however many the block holds.
//
// Owns: the filter table and the input buffer, allocated at construction;
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
    // taken, zeros follow so that its last samples come out too. Output held
    // over from an earlier call comes first, at the factor of that call.
    int process (double factor, const double* input, int inputCount, int* inputUsed, double* output);

    // The modified Bessel function I0, by Abramowitz and Stegun 9.8.1 and 9.8.2.
    static double besselI0 (double x);

    int wingLength() const { return (int) table.size(); }
    double coefficient (int i) const { return table[(std::size_t) i].coefficient; }
    int reach() const { return reachSamples; }

private:
    // A table point and the step to the next, side by side: one cache line per tap.
    struct Tap
    {
        double coefficient;
        double delta;
    };

    // How the filter walks its table for one block's outputs.
    struct Block
    {
        double scale = 1.0;       // the factor below 1, else 1
        double increment = 1.0;   // input time per output sample
        double step = 0.0;        // table points per input sample
        int whole = 0;            // step split into whole points
        double part = 0.0;        // and a fraction
    };

    void buildTable (double beta, double rolloff);
    int takeInput (const double* input, int inputCount, int* inputUsed);
    void startBlock (double factor, int convertible);
    int deliver (double* output, int wanted);
    void finishBlock();
    double outputAt (double at) const;

    const double pointsPerZeroCrossing;
    const double minimumFactor;
    const double maximumFactor;
    double time = 0.0;   // of the next output, in input samples from the buffer's start

    std::vector<Tap> table;
    int reachSamples = 0;
    int inputSize = 0;
    int inputFill = 0;
    std::vector<double> inputBuffer;   // inputSize + reach samples

    Block block;
    int held = 0;   // outputs of the current block not yet delivered
};

} // namespace Korvalune
