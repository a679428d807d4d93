// Draws the editor's skin: the twelve PNG files of the image pack, and the
// program's icon in the same look.
//   quellon_skin_generator <folder> [<icon file>]
// The output is committed under Resources/Skin and Resources/Icon; run this
// again after a change of the look and commit both. The layout below follows the main view's fixed
// design of 640 x 426 pixels (the background is one pixel taller).
#include <juce_graphics/juce_graphics.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <cstdio>

using namespace juce;

namespace
{
namespace Palette
{
const Colour panelTop { 0xff26292d };
const Colour panelBottom { 0xff16181b };
const Colour stripTop { 0xff33373c };
const Colour stripBottom { 0xff1d2024 };
const Colour bevelLight { 0x30ffffff };
const Colour bevelDark { 0xc0000000 };
const Colour caption { 0xff9aa1a9 };
const Colour captionDim { 0xff6b7178 };
const Colour accent { 0xffe8a33d };
const Colour accentDim { 0xff7a5420 };
const Colour display { 0xff0b0c0e };
const Colour displayEdge { 0xff050607 };
const Colour bus { 0xff5a6068 };
} // namespace Palette

Font panelFont (float height, bool bold = true, float kerning = 0.08f)
{
    return Font (Font::getDefaultSansSerifFontName(), height, bold ? Font::bold : Font::plain)
        .withExtraKerningFactor (kerning);
}

void caption (Graphics& g, const String& text, Rectangle<int> area, Justification justification,
              float height = 10.0f, Colour colour = Palette::caption)
{
    g.setColour (colour);
    g.setFont (panelFont (height));
    g.drawText (text, area, justification, false);
}

// A recessed window in the panel in which the editor writes a value.
void displayWell (Graphics& g, Rectangle<int> bounds)
{
    const auto r = bounds.toFloat();
    g.setColour (Palette::bevelLight.withAlpha (0.10f));
    g.fillRoundedRectangle (r.translated (0.0f, 1.0f), 5.0f);
    g.setColour (Palette::displayEdge);
    g.fillRoundedRectangle (r, 5.0f);
    g.setGradientFill (ColourGradient (Palette::display, r.getX(), r.getY(), Colour (0xff15171a), r.getX(),
                                       r.getBottom(), false));
    g.fillRoundedRectangle (r.reduced (1.0f), 4.0f);
    g.setColour (Colour (0x18ffffff));
    g.drawHorizontalLine (bounds.getBottom() - 2, r.getX() + 5.0f, r.getRight() - 5.0f);
}

void groove (Graphics& g, int y, float x0, float x1)
{
    g.setColour (Palette::bevelDark);
    g.drawHorizontalLine (y, x0, x1);
    g.setColour (Palette::bevelLight.withAlpha (0.08f));
    g.drawHorizontalLine (y + 1, x0, x1);
}

void screw (Graphics& g, float cx, float cy)
{
    const Rectangle<float> head (cx - 4.5f, cy - 4.5f, 9.0f, 9.0f);
    g.setGradientFill (ColourGradient (Colour (0xff8a9097), cx - 3.0f, cy - 3.0f, Colour (0xff2b2e32), cx + 4.0f,
                                       cy + 4.0f, false));
    g.fillEllipse (head);
    g.setColour (Colour (0xff111214));
    g.drawEllipse (head, 0.8f);
    g.drawLine (cx - 3.0f, cy + 1.5f, cx + 3.0f, cy - 1.5f, 1.2f);
}

//==============================================================================
// The background.

struct ChainBlock
{
    const char* name;
    int x, y;
};

// The routing points: the centres of the blocks of the signal chain.
const ChainBlock chain[] = { { "INPUT", 56, 122 }, { "GAIN", 156, 122 }, { "DYNA", 245, 122 }, { "EQ", 336, 121 },
                             { "BLEND", 371, 121 }, { "AMP", 458, 121 },  { "CAB", 557, 122 } };

// The rows that the routing lines take; nothing of the panel is drawn on them.
constexpr int upperRouteY = 80;
constexpr int lowerRouteY = 162;
constexpr int routeEndX = 570;

void drawPanel (Graphics& g, int width, int height)
{
    g.setGradientFill (ColourGradient (Palette::panelTop, 0.0f, 0.0f, Palette::panelBottom, 0.0f, (float) height,
                                       false));
    g.fillAll();

    // A faint brushed grain, regular so that it compresses well.
    for (int y = 0; y < height; y += 3)
    {
        g.setColour (Colours::white.withAlpha ((y / 3) % 2 == 0 ? 0.012f : 0.0f));
        g.drawHorizontalLine (y, 0.0f, (float) width);
    }

    // Title strip: the part of the window by which it is dragged.
    g.setGradientFill (ColourGradient (Palette::stripTop, 0.0f, 0.0f, Palette::stripBottom, 0.0f, 62.0f, false));
    g.fillRect (0, 0, width, 62);
    g.setColour (Palette::bevelLight.withAlpha (0.10f));
    g.drawHorizontalLine (0, 0.0f, (float) width);
    groove (g, 62, 0.0f, (float) width);

    // Outer frame of the panel.
    g.setColour (Colour (0xff0a0b0c));
    g.drawRect (0, 0, width, height, 1);
}

void drawTitle (Graphics& g)
{
    g.setColour (Colour (0xffd9dde1));
    g.setFont (panelFont (26.0f, true, 0.32f));
    g.drawText ("QUELLON", Rectangle<int> (170, 8, 300, 30), Justification::centred, false);

    g.setColour (Palette::accent);
    g.fillRect (262, 40, 116, 1);

    caption (g, "BASS AMPLIFIER MODELLER", { 170, 43, 300, 13 }, Justification::centred, 8.5f, Palette::captionDim);

    // The MENU button sits on a flat plate of its own.
    const Rectangle<float> plate (10.0f, 11.0f, 68.0f, 26.0f);
    g.setColour (Colour (0x40000000));
    g.fillRoundedRectangle (plate, 4.0f);
    g.setColour (Colour (0x22ffffff));
    g.drawRoundedRectangle (plate.reduced (0.5f), 4.0f, 1.0f);

    screw (g, 100.0f, 24.0f);
    screw (g, 500.0f, 24.0f);
}

// The signal chain: a bus from INPUT to CAB with one node per block, the
// block's name beside the node so that a routing line that leaves the node
// upwards or downwards never crosses a name.
void drawChain (Graphics& g)
{
    // Sunken tray behind the chain, between the two routing rows.
    const Rectangle<float> tray (22.0f, 92.0f, 596.0f, 58.0f);
    g.setColour (Colour (0x50000000));
    g.fillRoundedRectangle (tray, 8.0f);
    g.setColour (Colour (0x14ffffff));
    g.drawRoundedRectangle (tray.translated (0.0f, 1.0f), 8.0f, 1.0f);
    g.setColour (Colour (0x90000000));
    g.drawRoundedRectangle (tray, 8.0f, 1.0f);

    caption (g, "SIGNAL CHAIN", { 30, 95, 120, 10 }, Justification::left, 7.5f, Palette::captionDim);

    // The bus, with small arrow heads between the blocks.
    g.setColour (Palette::bus);
    g.fillRect (chain[0].x, 121, chain[6].x - chain[0].x, 2);

    const Font nameFont = panelFont (9.5f, true, 0.06f);
    const float nodeRadius = 5.0f;

    for (int i = 0; i < 7; ++i)
    {
        const auto& block = chain[i];
        const float cx = (float) block.x, cy = (float) block.y;
        const int nameWidth = nameFont.getStringWidth (block.name);

        // The pill that holds node and name. The name goes right of the node,
        // or left of it where the next block leaves no room.
        const bool nameRight = i + 1 == 7 || cx + 8.0f + (float) nameWidth + 5.0f <= (float) chain[i + 1].x - 12.0f;
        const Rectangle<float> pill = nameRight
            ? Rectangle<float> (cx - 9.5f, cy - 11.0f, 9.5f + 8.0f + (float) nameWidth + 5.0f, 22.0f)
            : Rectangle<float> (cx - 8.0f - (float) nameWidth - 5.0f, cy - 11.0f, 5.0f + (float) nameWidth + 8.0f + 9.5f, 22.0f);
        const float nameX = nameRight ? cx + 8.0f : cx - 8.0f - (float) nameWidth - 1.0f;
        g.setGradientFill (ColourGradient (Colour (0xff3b4046), 0.0f, pill.getY(), Colour (0xff24272b), 0.0f,
                                           pill.getBottom(), false));
        g.fillRoundedRectangle (pill, 11.0f);
        g.setColour (Colour (0xff0c0d0f));
        g.drawRoundedRectangle (pill, 11.0f, 1.0f);
        g.setColour (Colour (0x1cffffff));
        g.drawHorizontalLine ((int) pill.getY() + 1, pill.getX() + 8.0f, pill.getRight() - 8.0f);

        // Node: an amber ring with a dark centre.
        g.setColour (Palette::accentDim);
        g.fillEllipse (cx - nodeRadius - 1.0f, cy - nodeRadius - 1.0f, 2.0f * nodeRadius + 2.0f,
                       2.0f * nodeRadius + 2.0f);
        g.setColour (Palette::accent);
        g.fillEllipse (cx - nodeRadius, cy - nodeRadius, 2.0f * nodeRadius, 2.0f * nodeRadius);
        g.setColour (Colour (0xff1a1c1f));
        g.fillEllipse (cx - 2.5f, cy - 2.5f, 5.0f, 5.0f);

        g.setColour (Colour (0xffdfe3e7));
        g.setFont (nameFont);
        g.drawText (block.name, Rectangle<float> (nameX, cy - 7.0f, (float) nameWidth + 2.0f, 14.0f),
                    Justification::centredLeft, false);
    }

    // The two outputs at the ends of the routing rows.
    struct Terminal
    {
        int y;
        const char* name;
    };

    for (auto terminal : { Terminal { upperRouteY, "OUT" }, Terminal { lowerRouteY, "DI" } })
    {
        const float cy = (float) terminal.y;
        const Rectangle<float> jack ((float) routeEndX + 1.0f, cy - 8.0f, 52.0f, 16.0f);
        g.setColour (Colour (0xff2e3237));
        g.fillRoundedRectangle (jack, 8.0f);
        g.setColour (Colour (0xff0c0d0f));
        g.drawRoundedRectangle (jack, 8.0f, 1.0f);
        g.setColour (Palette::accent);
        g.fillEllipse ((float) routeEndX + 4.0f, cy - 4.0f, 8.0f, 8.0f);
        g.setColour (Colour (0xff1a1c1f));
        g.fillEllipse ((float) routeEndX + 6.0f, cy - 2.0f, 4.0f, 4.0f);
        caption (g, terminal.name, Rectangle<int> (routeEndX + 15, terminal.y - 6, 34, 12), Justification::centredLeft,
                 9.0f, Colour (0xffc9ced3));
    }
}

struct Control
{
    Rectangle<int> bounds;
    const char* caption;
};

void drawKnobCaption (Graphics& g, Rectangle<int> knob, const char* name)
{
    caption (g, name, { knob.getX() - 10, knob.getBottom() + 3, knob.getWidth() + 20, 12 }, Justification::centred);
}

void drawControls (Graphics& g)
{
    // Knobs: 0x207 and 0x200.
    drawKnobCaption (g, { 36, 172, 73, 78 }, "BLEND");
    drawKnobCaption (g, { 133, 172, 73, 78 }, "MASTER");

    // Value windows with their captions to the left.
    const Control windows[] = {
        { { 297, 181, 121, 29 }, "OUTPUTS" },     // 0x208
        { { 352, 221, 66, 29 }, "LEVEL" },        // 0x205
        { { 493, 181, 121, 29 }, "OUT TAP" },     // 0x206, the upper routing row
        { { 493, 221, 121, 29 }, "DI TAP" },      // 0x204, the lower routing row
    };

    for (const auto& c : windows)
    {
        displayWell (g, c.bounds);
        caption (g, c.caption, { c.bounds.getX() - 84, c.bounds.getY(), 78, c.bounds.getHeight() },
                 Justification::centredRight);
    }
}

void drawCabinetRows (Graphics& g)
{
    groove (g, 268, 20.0f, 620.0f);

    caption (g, "AMP VOICE", { 137, 273, 144, 12 }, Justification::centred);
    caption (g, "USER CABINET", { 299, 273, 315, 12 }, Justification::centred);

    // Slot 0 is the lowest row.
    const int rowY[] = { 375, 331, 288 };
    for (int slot = 0; slot < 3; ++slot)
    {
        const int y = rowY[slot];
        displayWell (g, { 137, y, 144, 28 });
        displayWell (g, { 299, y, 315, 28 });

        const Rectangle<float> badge (26.0f, (float) y + 3.0f, 92.0f, 22.0f);
        g.setColour (Colour (0x40000000));
        g.fillRoundedRectangle (badge, 11.0f);
        caption (g, "SLOT " + String (slot + 1), badge.toNearestInt(), Justification::centred, 10.0f);

        g.setColour (Palette::bus);
        g.fillRect (284, y + 13, 12, 2);   // ties the voice to its cabinet
    }

    groove (g, 409 - 8, 20.0f, 620.0f);
}

Image makeBackground()
{
    Image image (Image::RGB, 640, 427, true);
    Graphics g (image);
    drawPanel (g, 640, 427);
    drawTitle (g);
    drawChain (g);
    drawControls (g);
    drawCabinetRows (g);
    return image;
}

//==============================================================================
// Knob film strips: one column of 99 frames turning through 300 degrees.

constexpr int dialFrames = 99;
constexpr float dialSweep = MathConstants<float>::pi * 300.0f / 180.0f;
constexpr float dialStart = -dialSweep / 2.0f;

Path arc (Point<float> c, float radius, float from, float to)
{
    Path p;
    p.addCentredArc (c.x, c.y, radius, radius, 0.0f, from, to, true);
    return p;
}

// One knob at proportion p, centred at c with body radius r; `withArc` adds
// the lit value arc around it.
void drawKnob (Graphics& g, Point<float> c, float r, float p, bool withArc)
{
    const float angle = dialStart + dialSweep * p;

    if (withArc)
    {
        const float arcRadius = r + 9.0f;
        const PathStrokeType stroke (4.0f, PathStrokeType::curved, PathStrokeType::rounded);
        g.setColour (Colour (0xff0d0e10));
        g.strokePath (arc (c, arcRadius, dialStart, dialStart + dialSweep), stroke);
        if (p > 0.0f)
        {
            g.setColour (Palette::accent);
            g.strokePath (arc (c, arcRadius, dialStart, angle), stroke);
        }
    }

    // Ticks on the panel around the knob.
    for (int i = 0; i <= 10; ++i)
    {
        const float a = dialStart + dialSweep * (float) i / 10.0f;
        const float inner = r + (withArc ? 15.0f : 5.0f), outer = inner + (i % 5 == 0 ? 6.0f : 3.5f);
        g.setColour (i % 5 == 0 ? Colour (0xffb8bec4) : Colour (0xff7c838a));
        g.drawLine (Line<float> (c.getPointOnCircumference (inner, a), c.getPointOnCircumference (outer, a)), 1.6f);
    }

    // Shadow, skirt and cap.
    g.setColour (Colour (0x70000000));
    g.fillEllipse (c.x - r - 1.0f, c.y - r + 3.0f, 2.0f * r + 2.0f, 2.0f * r + 2.0f);

    g.setGradientFill (ColourGradient (Colour (0xff5d636a), c.x, c.y - r, Colour (0xff15171a), c.x, c.y + r, false));
    g.fillEllipse (c.x - r, c.y - r, 2.0f * r, 2.0f * r);

    // Knurled edge: fine ridges that turn with the knob.
    const int ridges = 36;
    for (int i = 0; i < ridges; ++i)
    {
        const float a = angle + MathConstants<float>::twoPi * (float) i / (float) ridges;
        g.setColour (Colour (0x38000000));
        g.drawLine (Line<float> (c.getPointOnCircumference (r * 0.80f, a), c.getPointOnCircumference (r - 0.5f, a)),
                    1.2f);
    }

    const float capR = r * 0.74f;
    g.setGradientFill (ColourGradient (Colour (0xff4a4f55), c.x - capR * 0.6f, c.y - capR, Colour (0xff1e2024),
                                       c.x + capR * 0.4f, c.y + capR, false));
    g.fillEllipse (c.x - capR, c.y - capR, 2.0f * capR, 2.0f * capR);
    g.setColour (Colour (0x30ffffff));
    g.drawEllipse (c.x - capR, c.y - capR, 2.0f * capR, 2.0f * capR, 1.0f);

    // Pointer line.
    g.setColour (Colour (0xfff2f4f6));
    g.drawLine (Line<float> (c.getPointOnCircumference (capR * 0.35f, angle), c.getPointOnCircumference (r - 2.5f, angle)),
                r * 0.09f);
}

Image makeDialFilm (int frameWidth, int frameHeight, float bodyRadius, float centreY, bool withArc)
{
    Image image (Image::ARGB, frameWidth, frameHeight * dialFrames, true);
    Graphics g (image);

    for (int frame = 0; frame < dialFrames; ++frame)
    {
        Graphics::ScopedSaveState state (g);
        g.reduceClipRegion (0, frame * frameHeight, frameWidth, frameHeight);
        const Point<float> centre ((float) frameWidth / 2.0f, (float) (frame * frameHeight) + centreY);
        drawKnob (g, centre, bodyRadius, (float) frame / (float) (dialFrames - 1), withArc);
    }

    return image;
}

//==============================================================================
// A three-position toggle switch: lever up, centred or down.

Image makeSwitch (int position)
{
    Image image (Image::ARGB, 40, 64, true);
    Graphics g (image);

    const Rectangle<float> plate (6.0f, 6.0f, 28.0f, 52.0f);
    g.setColour (Colour (0x60000000));
    g.fillRoundedRectangle (plate.translated (0.0f, 1.5f), 6.0f);
    g.setGradientFill (ColourGradient (Colour (0xff50565c), 0.0f, plate.getY(), Colour (0xff202326), 0.0f,
                                       plate.getBottom(), false));
    g.fillRoundedRectangle (plate, 6.0f);
    g.setColour (Colour (0xff0c0d0f));
    g.drawRoundedRectangle (plate, 6.0f, 1.0f);

    const Point<float> pivot (20.0f, 32.0f);
    g.setColour (Colour (0xff0d0e10));
    g.fillEllipse (pivot.x - 8.0f, pivot.y - 8.0f, 16.0f, 16.0f);

    const float tipY = position > 0 ? 12.0f : (position < 0 ? 52.0f : 32.0f);
    const float tipR = position == 0 ? 7.0f : 6.0f;
    g.setColour (Colour (0xffa9afb5));
    g.drawLine (pivot.x, pivot.y, pivot.x, tipY, 5.0f);
    g.setGradientFill (ColourGradient (Colour (0xfff0f2f4), pivot.x - 3.0f, tipY - 3.0f, Colour (0xff7d838a),
                                       pivot.x + 3.0f, tipY + 4.0f, true));
    g.fillEllipse (pivot.x - tipR, tipY - tipR, 2.0f * tipR, 2.0f * tipR);
    return image;
}

//==============================================================================
// Window buttons: a round cap with a symbol, dim when off, lit when pressed.

enum class Symbol
{
    close,
    maximise,
    minimise
};

Image makeWindowButton (Symbol symbol, bool pressed)
{
    Image image (Image::ARGB, 36, 36, true);
    Graphics g (image);

    const Rectangle<float> cap (3.0f, 3.0f, 30.0f, 30.0f);
    g.setColour (Colour (0x80000000));
    g.fillEllipse (cap.translated (0.0f, 1.0f));

    const Colour lit = symbol == Symbol::close ? Colour (0xffd9483b) : Palette::accent;
    if (pressed)
        g.setGradientFill (ColourGradient (lit.brighter (0.2f), 0.0f, cap.getY(), lit.darker (0.5f), 0.0f,
                                           cap.getBottom(), false));
    else
        g.setGradientFill (ColourGradient (Colour (0xff464b51), 0.0f, cap.getY(), Colour (0xff1f2226), 0.0f,
                                           cap.getBottom(), false));
    g.fillEllipse (cap);
    g.setColour (Colour (0xff0c0d0f));
    g.drawEllipse (cap, 1.0f);

    g.setColour (pressed ? Colour (0xff16181b) : Colour (0xffc3c8cd));
    const PathStrokeType stroke (2.2f, PathStrokeType::mitered, PathStrokeType::square);
    Path p;
    switch (symbol)
    {
        case Symbol::close:
            p.startNewSubPath (13.0f, 13.0f);
            p.lineTo (23.0f, 23.0f);
            p.startNewSubPath (23.0f, 13.0f);
            p.lineTo (13.0f, 23.0f);
            break;
        case Symbol::maximise:
            p.addRectangle (12.5f, 12.5f, 11.0f, 11.0f);
            break;
        case Symbol::minimise:
            p.startNewSubPath (12.5f, 22.0f);
            p.lineTo (23.5f, 22.0f);
            break;
    }
    g.strokePath (p, stroke);
    return image;
}

//==============================================================================
// The program's icon: one lit knob of the skin on a rounded panel tile, drawn
// large enough for every size the system scales it to.

Image makeIcon()
{
    constexpr int size = 256;
    Image image (Image::ARGB, size, size, true);
    Graphics g (image);

    const auto tile = Rectangle<float> (8.0f, 8.0f, size - 16.0f, size - 16.0f);
    g.setGradientFill (ColourGradient (Palette::stripTop, 0.0f, tile.getY(), Palette::panelBottom, 0.0f,
                                       tile.getBottom(), false));
    g.fillRoundedRectangle (tile, 44.0f);
    g.setColour (Colour (0xff0a0b0c));
    g.drawRoundedRectangle (tile.reduced (1.0f), 43.0f, 3.0f);

    drawKnob (g, tile.getCentre(), 66.0f, 0.72f, true);
    return image;
}

//==============================================================================

bool save (const Image& image, const File& folder, const char* name)
{
    const auto file = folder.getChildFile (name);
    (void) file.deleteFile();
    FileOutputStream out (file);
    PNGImageFormat png;
    if (! out.openedOk() || ! png.writeImageToStream (image, out))
    {
        std::fprintf (stderr, "cannot write %s\n", file.getFullPathName().toRawUTF8());
        return false;
    }
    return true;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2 && argc != 3)
    {
        std::fprintf (stderr, "usage: %s <folder> [<icon file>]\n", argv[0]);
        return 2;
    }

    ScopedJuceInitialiser_GUI juce;
    const File folder = File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    (void) folder.createDirectory();

    const bool ok = save (makeBackground(), folder, "Background.png")
                    && save (makeDialFilm (146, 156, 32.0f, 76.0f, true), folder, "FXDialFilm.png")
                    && save (makeDialFilm (136, 136, 40.0f, 68.0f, false), folder, "LargeDialFilm.png")
                    && save (makeSwitch (1), folder, "SwitchUp.png") && save (makeSwitch (0), folder, "SwitchCenter.png")
                    && save (makeSwitch (-1), folder, "SwitchDown.png")
                    && save (makeWindowButton (Symbol::close, false), folder, "CloseOff.png")
                    && save (makeWindowButton (Symbol::close, true), folder, "CloseOn.png")
                    && save (makeWindowButton (Symbol::maximise, false), folder, "MaximizeOff.png")
                    && save (makeWindowButton (Symbol::maximise, true), folder, "MaximizeOn.png")
                    && save (makeWindowButton (Symbol::minimise, false), folder, "MinimizeOff.png")
                    && save (makeWindowButton (Symbol::minimise, true), folder, "MinimizeOn.png");
    if (! ok)
        return 1;

    if (argc == 3)
    {
        const File icon = File::getCurrentWorkingDirectory().getChildFile (argv[2]);
        (void) icon.getParentDirectory().createDirectory();
        if (! save (makeIcon(), icon.getParentDirectory(), icon.getFileName().toRawUTF8()))
            return 1;
    }

    return 0;
}
