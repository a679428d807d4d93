#include "Widgets/FilmStripKnob.h"

FilmStripKnob::FilmStripKnob() = default;

FilmStripKnob::~FilmStripKnob() = default;

void FilmStripKnob::setFilmStrip (juce::Image strip, int numColumns, int numRows, int numFrames)
{
    // A grid needs at least one column and one row; less would divide by zero.
    numColumns = juce::jmax (1, numColumns);
    numRows = juce::jmax (1, numRows);

    filmStrip = std::move (strip);
    columns = numColumns;
    frameWidth = filmStrip.isNull() ? 0 : filmStrip.getWidth() / numColumns;
    frameHeight = filmStrip.isNull() ? 0 : filmStrip.getHeight() / numRows;
    frameCount = numFrames < 0 ? numColumns * numRows : numFrames;
    updateFrame (value);
}

void FilmStripKnob::updateFrame (double newValue)
{
    value = newValue;
    const double p = getProportion();
    currentFrame = juce::jmax (0, (int) ((frameCount - 1) * p + 0.5));

    if (columns > 0)
    {
        sourceX = (currentFrame % columns) * frameWidth;
        sourceY = (currentFrame / columns) * frameHeight;
    }

    repaint();
}

double FilmStripKnob::getProportion() const noexcept
{
    return juce::jlimit (0.0, 1.0, (value - minimum) / (maximum - minimum));
}

void FilmStripKnob::setProportion (double proportion)
{
    updateFrame (minimum + (maximum - minimum) * juce::jlimit (0.0, 1.0, proportion));
}

void FilmStripKnob::mouseDown (const juce::MouseEvent&)
{
    dragStartProportion = getProportion();
}

void FilmStripKnob::mouseDrag (const juce::MouseEvent& e)
{
    const int pixels = e.mods.isShiftDown() ? fineDragPixels : dragPixels;
    const double p = juce::jlimit (0.0, 1.0, dragStartProportion - e.getDistanceFromDragStartY() / (double) pixels);
    updateFrame (minimum + (maximum - minimum) * p);

    if (onValueChange)
        onValueChange (value);
}

void FilmStripKnob::mouseDoubleClick (const juce::MouseEvent&)
{
    if (onDoubleClick)
        onDoubleClick();
}

void FilmStripKnob::paint (juce::Graphics& g)
{
    if (filmStrip.isNull() || frameWidth <= 0 || frameHeight <= 0 || getWidth() <= 0 || getHeight() <= 0)
        return;

    // The frame as large as fits with its aspect kept, centred.
    const float aspect = (float) frameHeight / (float) frameWidth;
    const float w = (float) getWidth(), h = (float) getHeight();
    const bool tall = aspect > h / w;
    const int drawnWidth = tall ? (int) (h / aspect) : (int) w;
    const int drawnHeight = tall ? (int) h : (int) (w * aspect);

    g.drawImage (filmStrip, (getWidth() - drawnWidth) / 2, (getHeight() - drawnHeight) / 2, drawnWidth, drawnHeight,
                 sourceX, sourceY, frameWidth, frameHeight);
}
