#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Twelve segments in a ring whose brightest segment steps clockwise ten times
// a second while the spinner can be seen. It turns only while showing: the
// first paint starts it, the first tick after it stops showing stops it.
// Message thread only; no locks.
class BusySpinner : public juce::Component, private juce::Timer
{
public:
    BusySpinner();
    ~BusySpinner() override;

    void paint (juce::Graphics&) override;

    // The step of the turn, 0 to 11; 0 puts the brightest segment at 12 o'clock.
    int getPosition() const noexcept { return position; }
    bool isTurning() const noexcept { return isTimerRunning(); }

private:
    void timerCallback() override;

    int position = 0;
    juce::Colour dimColour { juce::Colours::darkgrey.withAlpha (0.7f) };
    juce::Colour brightColour { juce::Colours::lightgrey.withAlpha (0.7f) };
    int numSegments = 12;
    float innerRadius = 0.45f;   // the three as fractions of the spinner's radius
    float outerRadius = 0.95f;
    float thickness = 0.1f;
    int intervalMs = 100;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BusySpinner)
};
