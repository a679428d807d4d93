// The reference for the editor's start-up, memory and idle measurements
// (bench/measure_editor.py): a JUCE application with one plain window of the
// editor's size that paints one colour and does nothing else.
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
struct PlainContent : juce::Component
{
    PlainContent() { setSize (640, 426); }
    void paint (juce::Graphics& g) override { g.fillAll (juce::Colour (0xff336699)); }
};

struct PlainWindowApplication : juce::JUCEApplication
{
    const juce::String getApplicationName() override { return "Plain Window"; }
    const juce::String getApplicationVersion() override { return "1.0"; }

    void initialise (const juce::String&) override
    {
        window = std::make_unique<juce::ResizableWindow> ("Plain Window", juce::Colours::black, true);
        window->setUsingNativeTitleBar (false);
        window->setContentOwned (new PlainContent(), true);
        window->centreWithSize (640, 426);
        window->setVisible (true);
    }

    void shutdown() override { window.reset(); }

    std::unique_ptr<juce::ResizableWindow> window;
};
} // namespace

START_JUCE_APPLICATION (PlainWindowApplication)
