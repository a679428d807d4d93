#pragma once

#include "Widgets/ImagePackFormat.h"

#include <juce_graphics/juce_graphics.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The one cache of the skin's images, read from the image pack that travels
// inside the program. Images are asked for by index; each is decoded on its
// first request and shared from then on.
//
// Owns: the reader over the pack, the pack's directory and the decoded images.
// Threads: the message thread only (start-up, building and painting widgets,
// shut-down). Locks: none.
class ImagePack
{
public:
    using Reader = PackReader;

    // The indices the user interface asks for.
    enum Index : std::uint32_t
    {
        background = 0,
        largeDialFilm = 1,
        fxDialFilm = 2,
        switchUp = 3,
        switchCenter = 4,
        switchDown = 5,
        closeOff = 6,
        closeOn = 7,
        maximizeOff = 8,
        maximizeOn = 9,
        minimizeOff = 10,
        minimizeOn = 11,
        numImages = 12
    };

    // Makes the pack over a block of `blockSize` bytes, replacing any earlier
    // one, reads its directory and binds the twelve indices to their names.
    // A damaged pack registers nothing (every image is then null) and gives
    // false.
    static bool create (Reader reader, std::uint32_t blockSize);

    // The image for an index; null when the index is not bound or its file is
    // missing or does not decode. Shares its pixels with the cached image.
    static juce::Image getImage (std::uint32_t index);

    // Binds an index to a file name, dropping any image cached for it.
    static void registerImage (std::uint32_t index, const std::string& fileName);

    // Drops every cached image and every binding.
    static void clearCache();

    // The file names of the indices, in index order.
    static const char* const fileNames[numImages];

    bool readDirectory();
    bool readFile (const std::string& fileName, std::vector<std::uint8_t>& data);

private:
    ImagePack (Reader reader, std::uint32_t blockSize);

    static std::unique_ptr<ImagePack>& current();

    struct ImageSlot
    {
        juce::Image image;
        std::string fileName;
    };

    std::map<std::uint32_t, ImageSlot> images;
    Reader reader;
    std::uint32_t blockSize;
    PackDirectory directory;

    JUCE_DECLARE_NON_COPYABLE (ImagePack)
};
