#pragma once

#include "Widgets/SimpleTextButton.h"

// A line of static text (the version footer): a text button whose owner sets
// no click.
class SimpleLabel : public SimpleTextButton
{
public:
    SimpleLabel();
    ~SimpleLabel() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SimpleLabel)
};
