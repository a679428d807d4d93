#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// A knob drawn as one frame of a film strip (a grid of frames of the knob
// turning). Dragging up turns it up: 200 pixels cover the whole range, 1000
// with Shift held. Its value runs from 0 to 1 and is its proportion; what the
// value means is the owner's business.
// Message thread only; no locks.
class FilmStripKnob : public virtual juce::Component
{
public:
    FilmStripKnob();
    ~FilmStripKnob() override;

    // Given the new value after each drag step, changed or not.
    std::function<void (double)> onValueChange;
    std::function<void()> onDoubleClick;

    // The strip is a grid of `columns` x `rows` frames; a negative frameCount
    // takes every frame of the grid.
    void setFilmStrip (juce::Image strip, int columns, int rows, int frameCount);

    // Sets the value and shows the frame nearest to it.
    void updateFrame (double newValue);

    double getValue() const noexcept { return value; }
    double getProportion() const noexcept;
    void setProportion (double proportion);

    int getFrameCount() const noexcept { return frameCount; }
    int getCurrentFrame() const noexcept { return currentFrame; }

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

private:
    juce::Image filmStrip;
    double value = 0.0;
    double dragStartProportion = 0.0;
    int dragPixels = 200;
    int fineDragPixels = 1000;
    double minimum = 0.0;
    double maximum = 1.0;
    int columns = 0;
    int frameCount = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int currentFrame = 0;
    int sourceX = 0;
    int sourceY = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilmStripKnob)
};
