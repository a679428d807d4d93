#include "Widgets/ImagePack.h"

const char* const ImagePack::fileNames[numImages] = {
    "Background.png",   "LargeDialFilm.png", "FXDialFilm.png", "SwitchUp.png",
    "SwitchCenter.png", "SwitchDown.png",    "CloseOff.png",   "CloseOn.png",
    "MaximizeOff.png",  "MaximizeOn.png",    "MinimizeOff.png", "MinimizeOn.png",
};

ImagePack::ImagePack (Reader readerToUse, std::uint32_t size) : reader (std::move (readerToUse)), blockSize (size) {}

std::unique_ptr<ImagePack>& ImagePack::current()
{
    static std::unique_ptr<ImagePack> pack;
    return pack;
}

bool ImagePack::create (Reader reader, std::uint32_t blockSize)
{
    auto& pack = current();
    pack.reset (new ImagePack (std::move (reader), blockSize));

    if (! pack->readDirectory())
        return false;

    for (std::uint32_t index = 0; index < numImages; ++index)
        registerImage (index, fileNames[index]);

    return true;
}

juce::Image ImagePack::getImage (std::uint32_t index)
{
    auto* pack = current().get();
    if (pack == nullptr)
        return {};

    auto slot = pack->images.find (index);
    if (slot == pack->images.end())
        return {};

    const auto fileName = slot->second.fileName;

    if (slot->second.image.isNull())
    {
        std::vector<std::uint8_t> bytes;
        if (! pack->readFile (fileName, bytes))
        {
            pack->images.erase (slot);
            return {};
        }

        juce::MemoryInputStream stream (bytes.data(), bytes.size(), false);
        slot->second.image = juce::ImageFileFormat::loadFrom (stream);
    }

    return slot->second.image;
}

void ImagePack::registerImage (std::uint32_t index, const std::string& fileName)
{
    if (auto* pack = current().get())
        pack->images[index] = ImageSlot { {}, fileName };
}

void ImagePack::clearCache()
{
    if (auto* pack = current().get())
        pack->images.clear();
}

bool ImagePack::readDirectory()
{
    return readPackDirectory (reader, blockSize, directory).ok;
}

bool ImagePack::readFile (const std::string& fileName, std::vector<std::uint8_t>& data)
{
    auto entry = directory.find (fileName);
    if (entry == directory.end())
        return false;

    data.resize (entry->second.dataSize);
    return entry->second.dataSize == 0 || reader (entry->second.dataOffset, entry->second.dataSize, data.data());
}
