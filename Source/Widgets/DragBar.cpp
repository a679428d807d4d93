#include "Widgets/DragBar.h"

DragBar::DragBar() = default;

DragBar::~DragBar() = default;

void DragBar::mouseDown (const juce::MouseEvent& e)
{
    dragger.startDraggingComponent (getTopLevelComponent(), e);
}

void DragBar::mouseDrag (const juce::MouseEvent& e)
{
    dragger.dragComponent (getTopLevelComponent(), e, nullptr);
}
