#include "Widgets/OverlayComponent.h"

OverlayComponent::OverlayComponent()
{
    progressBar.setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xff222222));
    progressBar.setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xff555555));
    progressBar.setPercentageDisplay (false);

    addAndMakeVisible (spinner);
    setWantsKeyboardFocus (true);
    addChildComponent (progressBar);
}

OverlayComponent::~OverlayComponent() = default;

juce::Rectangle<int> OverlayComponent::getBoxBounds() const
{
    return { getWidth() / 2 - boxWidth / 2, getHeight() / 2 - boxHeight / 2, boxWidth, boxHeight };
}

void OverlayComponent::resized()
{
    const int spinnerY = getHeight() / 2 + contentOffset / 2 - spinnerSize / 2;
    spinner.setBounds (getWidth() / 2 - spinnerSize / 2, spinnerY, spinnerSize, spinnerSize);
    progressBar.setBounds (getWidth() / 2 - progressWidth / 2, spinnerY - progressHeight - 15, progressWidth,
                           progressHeight);
}

void OverlayComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xbb333333));

    const auto box = getBoxBounds();
    g.setColour (juce::Colour (0xbb000000));
    g.fillRoundedRectangle (box.toFloat(), 32.0f);

    // Both text areas are as large as the box; the texts centre in them. The
    // progress bar takes the detail line's place, which then moves below the
    // spinner.
    const int belowSpinner = (boxHeight / 2 + contentOffset / 2 + spinnerSize / 2) / 2;
    const int detailOffset = progressBar.isVisible() ? belowSpinner : -contentOffset + 35;
    g.setColour (juce::Colours::white);
    g.setFont (g.getCurrentFont().withHeight (headlineHeight));
    g.drawFittedText (headline, box.translated (0, -contentOffset), juce::Justification::centred, 2, 0.0f);
    g.setFont (g.getCurrentFont().withHeight (detailHeight));
    g.drawFittedText (detail, box.translated (0, detailOffset), juce::Justification::centred, 2, 0.0f);

    // A dialog or alert open in a window of its own keeps the keyboard: what
    // the user types there must not end up beneath it. The grab waits for a
    // paint after the dialog has gone. (An edit in the view is modal too, but
    // in this window: that one the grab is meant to end.)
    const auto* modal = getCurrentlyModalComponent();
    const bool dialogOpen = modal != nullptr && modal->getTopLevelComponent() != getTopLevelComponent();

    if (grabFocusPending && ! dialogOpen)
    {
        grabFocusPending = false;
        grabKeyboardFocus();
    }
}

void OverlayComponent::setStatusText (const juce::String& text, bool /*isError: drawn like any other text*/)
{
    const int lineFeed = text.indexOfChar ('\n');
    headline = lineFeed < 0 ? text : text.substring (0, lineFeed);
    detail = lineFeed < 0 ? juce::String() : text.substring (lineFeed + 1);
    repaint();
}

void OverlayComponent::setSpinnerVisible (bool shouldBeVisible)
{
    spinner.setVisible (shouldBeVisible);
}

void OverlayComponent::setOverlayVisible (bool shouldBeVisible)
{
    if (shouldBeVisible)
        grabFocusPending = true;

    setVisible (shouldBeVisible);
}

void OverlayComponent::setProgress (double newProgress)
{
    if (progressBar.isVisible() != (newProgress >= 0.0))
        repaint(); // the detail line moves

    progressBar.setVisible (newProgress >= 0.0);
    progress = newProgress;
}
