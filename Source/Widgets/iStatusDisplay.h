#pragma once

#include <juce_core/juce_core.h>

// What the main view tells its status display: a text (a headline, then
// after a line feed a detail line), whether the busy spinner turns, whether
// the display covers the view, and a task's progress (negative: no bar).
class iStatusDisplay
{
public:
    virtual ~iStatusDisplay() = default;

    virtual void setStatusText (const juce::String& text, bool isError) = 0;
    virtual void setSpinnerVisible (bool shouldBeVisible) = 0;
    virtual void setOverlayVisible (bool shouldBeVisible) = 0;
    virtual void setProgress (double progress) = 0;
};
