#include "Widgets/SimpleEditLabel.h"
#include "WidgetTestHelpers.h"

#include <gtest/gtest.h>

using namespace WidgetTest;

namespace
{
struct Label : SimpleEditLabel
{
    Label()
    {
        setBounds (0, 0, 66, 29);
        onDragStart = [this] { return start; };
        onDragChange = [this] (double p) { reported.push_back (p); };
    }

    // Types a text into the editor and ends the edit with Return.
    void type (const juce::String& text)
    {
        showEditor();
        ASSERT_NE (getCurrentTextEditor(), nullptr);
        getCurrentTextEditor()->setText (text, false);
        hideEditor (false);
    }

    double start = 0.0;
    std::vector<double> reported;
};
} // namespace

TEST (SimpleEditLabel, IsEditedByDoubleClickAndDiscardsOnLossOfFocus)
{
    Label label;
    EXPECT_FALSE (label.isEditableOnSingleClick());
    EXPECT_TRUE (label.isEditableOnDoubleClick());
    EXPECT_TRUE (label.doesLossOfFocusDiscardChanges());
    EXPECT_EQ (label.getJustificationType(), juce::Justification::centred);
    EXPECT_EQ (label.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x00000000));

    static_cast<juce::Component&> (label).mouseDoubleClick (GuiTest::mouseEvent (label, { 5, 5 }, { 5, 5 }, leftButton, 2));
    EXPECT_NE (label.getCurrentTextEditor(), nullptr);
    label.hideEditor (true);
}

TEST (SimpleEditLabel, DragsByFiveHundredPixelsOrTwoThousandWithShiftUnclamped)
{
    Label label;
    label.start = 0.8;
    pressAndDrag (label, -250.0f);
    pressAndDrag (label, -250.0f, leftButtonWithShift);
    label.start = 0.0;
    pressAndDrag (label, 250.0f);

    ASSERT_EQ (label.reported.size(), 3u);
    EXPECT_NEAR (label.reported[0], 1.3, 1e-12);
    EXPECT_NEAR (label.reported[1], 0.925, 1e-12);
    EXPECT_NEAR (label.reported[2], -0.5, 1e-12);
}

TEST (SimpleEditLabel, APressAloneReportsNothing)
{
    Label label;
    int starts = 0;
    label.onDragStart = [&] { ++starts; return 0.5; };
    label.mouseDown (GuiTest::mouseEvent (label, { 5, 5 }, { 5, 5 }, leftButton));
    EXPECT_EQ (starts, 1);
    EXPECT_TRUE (label.reported.empty());

    SimpleEditLabel bare;   // empty closures are skipped
    pressAndDrag (bare, -50.0f);
}

TEST (SimpleEditLabel, TypedTextIsKeptWhenTakenAndPutBackWhenRefused)
{
    Label label;
    label.setText ("0.0 dB");
    std::vector<juce::String> entered;
    bool take = true;
    label.onTextEntered = [&] (const juce::String& t)
    {
        entered.push_back (t);
        return take;
    };

    label.type ("-3.5");
    EXPECT_EQ (label.getText(), "-3.5");

    take = false;
    label.type ("loud");
    EXPECT_EQ (label.getText(), "-3.5") << "a refused text goes back to the text before the edit";

    label.type ("-3.5");
    EXPECT_EQ (entered, (std::vector<juce::String> { "-3.5", "loud" })) << "an unchanged text is no edit";
}

TEST (SimpleEditLabel, SetTextColourColoursTheEditorToo)
{
    Label label;
    const juce::Colour c (0xffeeeeee);
    label.setTextColour (c);

    for (auto id : { (int) juce::Label::textColourId, (int) juce::TextEditor::textColourId,
                     (int) juce::TextEditor::outlineColourId, (int) juce::TextEditor::highlightColourId,
                     (int) juce::TextEditor::focusedOutlineColourId })
        EXPECT_EQ (label.findColour (id), c) << id;

    EXPECT_EQ (label.findColour (juce::TextEditor::highlightedTextColourId), juce::Colours::black);
    EXPECT_EQ (label.findColour (juce::CaretComponent::caretColourId), c.darker (0.4f));
}
