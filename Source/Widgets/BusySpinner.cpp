#include "Widgets/BusySpinner.h"

BusySpinner::BusySpinner() = default;

BusySpinner::~BusySpinner()
{
    stopTimer();
}

void BusySpinner::paint (juce::Graphics& g)
{
    const int n = numSegments;
    const auto radius = (float) (juce::jmin (getWidth(), getHeight()) / 2);
    g.addTransform (juce::AffineTransform::scale (radius).translated ((float) (getWidth() / 2),
                                                                      (float) (getHeight() / 2)));

    juce::Path segment;
    segment.addRoundedRectangle (-thickness, -outerRadius, 2.0f * thickness, outerRadius - innerRadius, thickness,
                                 thickness, true, true, true, true);

    for (int i = 0; i < n; ++i)
    {
        const auto t = (float) (n - 1 - ((position + i) % n)) / (float) (n - 1);
        const auto angle = (float) (i * (-2.0 * juce::MathConstants<double>::pi) / n);

        juce::Graphics::ScopedSaveState state (g);
        g.setColour (dimColour.interpolatedWith (brightColour, t));
        g.addTransform (juce::AffineTransform::rotation (angle));
        g.fillPath (segment);
    }

    if (isShowing() && ! isTimerRunning())
        startTimer (intervalMs);
}

void BusySpinner::timerCallback()
{
    if (! isShowing())
    {
        stopTimer();
        return;
    }

    position = (position + 1) % numSegments;
    repaint();
}
