#pragma once

#include "Widgets/SimpleImageButton.h"

// A push button that is only a text (the main view's MENU).
class SimpleTextButton : public SimpleImageButton
{
public:
    SimpleTextButton();
    ~SimpleTextButton() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SimpleTextButton)
};
