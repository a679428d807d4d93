#pragma once

#include "Widgets/BusySpinner.h"
#include "Widgets/iStatusDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The status layer over the main view while the editor is not idle: a
// translucent dark cover with a darker rounded box in its middle, a white
// headline and detail line, a busy spinner and a progress bar. While shown it
// keeps the mouse from whatever lies beneath it, and the first paint after it
// is shown takes the keyboard focus (ending an edit open beneath it), unless
// a dialog open over it has the keyboard; then a paint after that does.
//
// Owns: the spinner and the progress bar (children). The bar reads `progress`
// on its own timer. Threads: the message thread only. Locks: none.
class OverlayComponent : public juce::Component, public virtual iStatusDisplay
{
public:
    OverlayComponent();
    ~OverlayComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void setStatusText (const juce::String& text, bool isError) override;
    void setSpinnerVisible (bool shouldBeVisible) override;
    void setOverlayVisible (bool shouldBeVisible) override;
    void setProgress (double newProgress) override;

    // Text heights, written by the owner, who then repaints.
    float headlineHeight = 24.0f;
    float detailHeight = 12.0f;

    const juce::String& getHeadline() const noexcept { return headline; }
    const juce::String& getDetail() const noexcept { return detail; }
    double getProgress() const noexcept { return progress; }
    BusySpinner& getSpinner() noexcept { return spinner; }
    juce::ProgressBar& getProgressBar() noexcept { return progressBar; }

    // The dark box, centred in the overlay.
    juce::Rectangle<int> getBoxBounds() const;

private:
    BusySpinner spinner;
    juce::String headline;
    juce::String detail;
    double progress = -1.0;   // declared before the bar, which keeps a reference to it
    juce::ProgressBar progressBar { progress };
    int boxWidth = 400;
    int progressWidth = 300;
    int progressHeight = 10;
    int boxHeight = 200;
    int contentOffset = 50;
    int spinnerSize = 48;
    bool grabFocusPending = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OverlayComponent)
};
