#pragma once

#include <juce_data_structures/juce_data_structures.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

// The editor's one top-level window: no title bar and no frame (the main
// view draws its own window buttons), resized from its bottom-right corner at
// the fixed aspect ratio of the view's design size, maximised to the largest
// size of that ratio that fits the main display. It shows the main view
// through a ContentZoom and keeps its geometry in the settings between runs.
//
// Owns: the main view and, as its content, the ContentZoom. Not owned: the
// settings, which must outlive the window (null: nothing is read or stored).
// Threads: the message thread only. Locks: none.
class ZoomWindow : public juce::ResizableWindow
{
public:
    ZoomWindow (const juce::String& title, juce::PropertiesFile* settings, juce::Component* mainView,
                juce::Colour backgroundColour, int designWidth, int designHeight, int minimumWidth,
                int minimumHeight);

    // Stores the geometry, then deletes the content and the main view.
    ~ZoomWindow() override;

    void toggleMaximised();
    void minimise();

    // Called when the system asks the window to close (alt+F4, the taskbar's
    // "Close window", a window manager's close button). Empty: nothing happens.
    std::function<void()> onCloseRequest;

    bool isMaximised() const noexcept { return maximised; }
    juce::Rectangle<int> getBoundsBeforeMaximise() const noexcept { return boundsBeforeMaximise; }

    void resized() override;
    void userTriedToCloseWindow() override;
    juce::BorderSize<int> getBorderThickness() override;
    juce::BorderSize<int> getContentComponentBorder() override;

private:
    void applyStoredBounds (juce::Rectangle<int> stored, bool hasPosition);
    bool sizeWithinLimits();
    void keepOnScreen();
    void storeGeometry();
    static juce::Rectangle<int> mainUserArea (juce::Rectangle<int> fallback);

    juce::PropertiesFile* settings;
    std::unique_ptr<juce::Component> mainView;
    juce::Rectangle<int> boundsBeforeMaximise;
    bool maximised = false;
    bool toggling = false;
    double windowAspectRatio;
    double displayAspectRatio;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZoomWindow)
};
