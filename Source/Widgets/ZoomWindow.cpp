#include "Widgets/ZoomWindow.h"

#include "Widgets/ContentZoom.h"

namespace
{
// Marks a stored x or y as "no position stored".
constexpr int noPosition = -100;

// Stored numbers come from a file the user can edit. The framework's own
// geometry overflows with coordinates near the limits of int, so they are
// cut to a range far beyond any desktop before anything else sees them.
constexpr int coordinateLimit = 1 << 16;

juce::Rectangle<int> withinSaneRange (juce::Rectangle<int> r)
{
    return { juce::jlimit (-coordinateLimit, coordinateLimit, r.getX()),
             juce::jlimit (-coordinateLimit, coordinateLimit, r.getY()),
             juce::jlimit (0, coordinateLimit, r.getWidth()), juce::jlimit (0, coordinateLimit, r.getHeight()) };
}
} // namespace

ZoomWindow::ZoomWindow (const juce::String& title, juce::PropertiesFile* settingsToUse, juce::Component* view,
                        juce::Colour backgroundColour, int designWidth, int designHeight, int minimumWidth,
                        int minimumHeight)
    : juce::ResizableWindow (title, backgroundColour, true),
      settings (settingsToUse),
      mainView (view),
      windowAspectRatio ((double) designWidth / (double) designHeight)
{
    setUsingNativeTitleBar (false);
    setResizable (true, true);

    const auto area = mainUserArea ({ 0, 0, 2 * designWidth, 2 * designHeight });
    displayAspectRatio = (double) area.getWidth() / (double) area.getHeight();

    setResizeLimits (minimumWidth, minimumHeight, juce::jmin (area.getWidth(), 2 * designWidth),
                     juce::jmin (area.getHeight(), 2 * designHeight));
    setSize (designWidth, designHeight);
    getConstrainer()->setFixedAspectRatio ((double) (float) windowAspectRatio);
    setContentOwned (new ContentZoom (mainView.get()), true);

    juce::Rectangle<int> stored { noPosition, noPosition, designWidth, designHeight };
    if (settings != nullptr)
    {
        stored = { settings->getIntValue ("windowX", noPosition), settings->getIntValue ("windowY", noPosition),
                   settings->getIntValue ("windowWidth", designWidth),
                   settings->getIntValue ("windowHeight", designHeight) };
        maximised = settings->getIntValue ("isMaximized", 0) != 0;

        if (maximised)
            boundsBeforeMaximise = withinSaneRange ({ settings->getIntValue ("boundsBeforeMaximize_x", 0),
                                                      settings->getIntValue ("boundsBeforeMaximize_y", 0),
                                                      settings->getIntValue ("boundsBeforeMaximize_w", designWidth),
                                                      settings->getIntValue ("boundsBeforeMaximize_h", designHeight) });
    }

    toggling = true;
    applyStoredBounds (withinSaneRange (stored), stored.getX() != noPosition && stored.getY() != noPosition);
    toggling = false;
}

ZoomWindow::~ZoomWindow()
{
    storeGeometry();
    clearContentComponent();
    mainView.reset();
}

void ZoomWindow::applyStoredBounds (juce::Rectangle<int> stored, bool hasPosition)
{
    if (hasPosition)
    {
        setBoundsConstrained (stored);
    }
    else
    {
        // A size beyond the limits (a damaged or hand-edited settings file)
        // is brought within them before centring, like a stored position's.
        centreWithSize (stored.getWidth(), stored.getHeight());
        if (sizeWithinLimits())
            return;

        setBoundsConstrained (getBounds());
        centreWithSize (getWidth(), getHeight());
    }

    keepOnScreen();
}

bool ZoomWindow::sizeWithinLimits()
{
    auto* constrainer = getConstrainer();
    return getWidth() >= constrainer->getMinimumWidth() && getWidth() <= constrainer->getMaximumWidth()
           && getHeight() >= constrainer->getMinimumHeight() && getHeight() <= constrainer->getMaximumHeight();
}

void ZoomWindow::keepOnScreen()
{
    // A position stored on a display that is gone, or far off any display,
    // is moved onto the main display.
    const auto userAreas = juce::Desktop::getInstance().getDisplays().getRectangleList (true);
    if (! userAreas.isEmpty() && ! userAreas.containsRectangle (getBounds()))
        setBounds (getBounds().constrainedWithin (mainUserArea (getBounds())));
}

void ZoomWindow::resized()
{
    // A size change the window did not make itself ends the maximised state.
    if (! toggling)
        maximised = false;

    juce::ResizableWindow::resized();
}

void ZoomWindow::userTriedToCloseWindow()
{
    if (onCloseRequest)
        onCloseRequest();
}

juce::BorderSize<int> ZoomWindow::getBorderThickness()
{
    return {};
}

juce::BorderSize<int> ZoomWindow::getContentComponentBorder()
{
    return {};
}

void ZoomWindow::toggleMaximised()
{
    const auto area = mainUserArea (getBounds());
    maximised = ! maximised;
    toggling = true;

    juce::Rectangle<int> target = boundsBeforeMaximise;

    if (maximised)
    {
        boundsBeforeMaximise = getBounds();

        int width = area.getWidth(), height = area.getHeight();
        if (windowAspectRatio > displayAspectRatio)
            height = (int) (area.getWidth() / windowAspectRatio);
        else
            width = (int) (area.getHeight() * windowAspectRatio);

        int x = getX(), y = getY();
        if (x + width > area.getRight())
            x = area.getRight() - width;
        if (x < area.getX())
            x = area.getX();
        if (y + height > area.getBottom())
            y = area.getBottom() - height;
        if (y < area.getY())
            y = area.getY();

        target = { x, y, width, height };
    }

    setBounds (target);

    // Bounds from before a maximise of an earlier run come from the settings;
    // absurd ones must still give a usable window.
    if (! maximised && ! sizeWithinLimits())
        setBoundsConstrained (getBounds());
    if (! maximised)
        keepOnScreen();

    toggling = false;
}

void ZoomWindow::minimise()
{
    setMinimised (true);
}

void ZoomWindow::storeGeometry()
{
    if (settings == nullptr)
        return;

    settings->setValue ("windowX", getX());
    settings->setValue ("windowY", getY());
    settings->setValue ("windowWidth", getWidth());
    settings->setValue ("windowHeight", getHeight());
    settings->setValue ("isMaximized", maximised ? 1 : 0);
    settings->setValue ("boundsBeforeMaximize_x", boundsBeforeMaximise.getX());
    settings->setValue ("boundsBeforeMaximize_y", boundsBeforeMaximise.getY());
    settings->setValue ("boundsBeforeMaximize_w", boundsBeforeMaximise.getWidth());
    settings->setValue ("boundsBeforeMaximize_h", boundsBeforeMaximise.getHeight());
}

juce::Rectangle<int> ZoomWindow::mainUserArea (juce::Rectangle<int> fallback)
{
    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
        return display->userArea;

    return fallback;
}
