#include "Widgets/SimpleTextButton.h"

SimpleTextButton::SimpleTextButton() : SimpleImageButton (juce::Image(), juce::Image()) {}

SimpleTextButton::~SimpleTextButton() = default;
