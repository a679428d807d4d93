#include "Widgets/ImagePack.h"
#include "Widgets/ProgramResource.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
std::vector<std::uint8_t> pngOf (int width, int height, juce::Colour colour = juce::Colours::red)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    image.clear (image.getBounds(), colour);
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream (image, out);
    auto* bytes = static_cast<const std::uint8_t*> (out.getData());
    return { bytes, bytes + out.getDataSize() };
}

// A pack in memory whose reader counts the reads of each offset.
struct TestPack
{
    explicit TestPack (std::vector<std::uint8_t> bytes) : block (std::move (bytes)) {}

    ImagePack::Reader reader()
    {
        auto inner = makeMemoryPackReader (block.data(), block.size());
        return [this, inner] (std::uint32_t offset, std::uint32_t size, void* destination)
        {
            ++reads[offset];
            return inner (offset, size, destination);
        };
    }

    bool create() { return ImagePack::create (reader(), (std::uint32_t) block.size()); }

    std::uint32_t word (std::size_t at) const
    {
        return (std::uint32_t) block[at] | (std::uint32_t) block[at + 1] << 8 | (std::uint32_t) block[at + 2] << 16
               | (std::uint32_t) block[at + 3] << 24;
    }

    void setWord (std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            block[at + (std::size_t) i] = (std::uint8_t) (value >> (8 * i));
    }

    std::size_t entryAt (std::size_t index) const { return word (0) + 16 * index; }

    std::vector<std::uint8_t> block;
    std::map<std::uint32_t, int> reads;
};

// The twelve names of the skin, each a small image of its own width.
std::vector<PackFile> skinFiles()
{
    std::vector<PackFile> files;
    for (std::uint32_t i = 0; i < ImagePack::numImages; ++i)
        files.push_back ({ ImagePack::fileNames[i], pngOf (10 + (int) i, 5) });
    return files;
}

class ImagePackTest : public testing::Test
{
protected:
    void SetUp() override { LogCapture::instance().clear(); }
    void TearDown() override { ImagePack::clearCache(); }
};

struct SkinImage
{
    const char* name;
    int width, height;
};

const SkinImage skinTable[] = {
    { "MaximizeOff.png", 36, 36 },       { "MaximizeOn.png", 36, 36 }, { "LargeDialFilm.png", 136, 13464 },
    { "CloseOff.png", 36, 36 },          { "SwitchCenter.png", 40, 64 }, { "Background.png", 640, 427 },
    { "MinimizeOff.png", 36, 36 },       { "FXDialFilm.png", 146, 15444 }, { "MinimizeOn.png", 36, 36 },
    { "SwitchUp.png", 40, 64 },          { "CloseOn.png", 36, 36 },    { "SwitchDown.png", 40, 64 },
};
} // namespace

TEST_F (ImagePackTest, TheProgramsOwnPackHoldsTheTwelveSkinImages)
{
    const auto resource = lockProgramResource (imagePackResourceId);
    ASSERT_NE (resource.data, nullptr);

    PackDirectory directory;
    const auto reader = makeMemoryPackReader (resource.data, resource.size);
    ASSERT_TRUE (readPackDirectory (reader, (std::uint32_t) resource.size, directory).ok);
    ASSERT_EQ (directory.size(), 12u);

    const auto* bytes = static_cast<const std::uint8_t*> (resource.data);
    for (const auto& image : skinTable)
    {
        SCOPED_TRACE (image.name);
        ASSERT_EQ (directory.count (image.name), 1u);
        const auto& entry = directory.at (image.name);
        EXPECT_EQ (entry.dataOffset % 4, 0u);
        EXPECT_EQ (entry.nameOffset % 4, 0u);
        ASSERT_GE (entry.dataSize, 33u);
        EXPECT_EQ (std::memcmp (bytes + entry.dataOffset, "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ (bytes[entry.dataOffset + 24], 8) << "bit depth";
    }

    ASSERT_TRUE (ImagePack::create (reader, (std::uint32_t) resource.size));
    for (std::uint32_t index = 0; index < ImagePack::numImages; ++index)
    {
        const auto image = ImagePack::getImage (index);
        const auto* row = std::find_if (std::begin (skinTable), std::end (skinTable),
                                        [&] (auto& s) { return ImagePack::fileNames[index] == std::string (s.name); });
        ASSERT_NE (row, std::end (skinTable));
        SCOPED_TRACE (row->name);
        EXPECT_EQ (image.getWidth(), row->width);
        EXPECT_EQ (image.getHeight(), row->height);
    }

    EXPECT_EQ (lockProgramResource (679).data, nullptr);
}

TEST_F (ImagePackTest, WrittenPacksFollowTheLayout)
{
    const std::vector<PackFile> files = { { "a.png", { 1, 2, 3 } }, { "bb.png", { 4, 5, 6, 7, 8 } }, { "", {} } };
    TestPack pack (writePack (files));

    const auto& b = pack.block;
    ASSERT_EQ (b.size() % 4, 0u);
    EXPECT_EQ (pack.word (4), 3u);
    EXPECT_EQ (pack.word (0), b.size() - 3 * 16) << "the directory ends the block";

    // First body right after the header, the next at the following multiple of 4, gaps zero.
    EXPECT_EQ (pack.word (pack.entryAt (0) + 8), 8u);
    EXPECT_EQ (pack.word (pack.entryAt (1) + 8), 12u);
    EXPECT_EQ (b[11], 0);
    EXPECT_EQ (pack.word (pack.entryAt (1) + 12), 5u);
    EXPECT_EQ (pack.word (pack.entryAt (0) + 0), 20u) << "names follow the bodies";
    EXPECT_EQ (pack.word (pack.entryAt (0) + 4), 5u);
    EXPECT_EQ (pack.word (pack.entryAt (1) + 0), 28u);

    PackDirectory directory;
    ASSERT_TRUE (readPackDirectory (pack.reader(), (std::uint32_t) b.size(), directory).ok);
    EXPECT_EQ (directory.size(), 3u);
    EXPECT_EQ (directory.at ("bb.png").dataSize, 5u);
    EXPECT_EQ (directory.count (""), 1u) << "an empty name is a name";
}

TEST_F (ImagePackTest, IndicesOutsideTheTableGiveNullImages)
{
    TestPack pack (writePack (skinFiles()));
    ASSERT_TRUE (pack.create());

    EXPECT_TRUE (ImagePack::getImage (12).isNull());
    EXPECT_TRUE (ImagePack::getImage (0xFFFFFFFF).isNull());
    EXPECT_EQ (ImagePack::getImage (11).getWidth(), 21);
}

TEST_F (ImagePackTest, AnImageIsDecodedOnceAndShared)
{
    TestPack pack (writePack (skinFiles()));
    ASSERT_TRUE (pack.create());
    pack.reads.clear();

    const auto first = ImagePack::getImage (ImagePack::fxDialFilm);
    const auto second = ImagePack::getImage (ImagePack::fxDialFilm);

    ASSERT_TRUE (first.isValid());
    EXPECT_EQ (first.getWidth(), 12);
    EXPECT_EQ (pack.reads.size(), 1u);
    EXPECT_EQ (pack.reads.begin()->second, 1) << "the body is read once";
    EXPECT_EQ (first.getPixelData(), second.getPixelData());
}

TEST_F (ImagePackTest, ClearingTheCacheDropsEveryBinding)
{
    TestPack pack (writePack (skinFiles()));
    ASSERT_TRUE (pack.create());
    ASSERT_TRUE (ImagePack::getImage (0).isValid());

    ImagePack::clearCache();

    for (std::uint32_t index = 0; index < ImagePack::numImages; ++index)
        EXPECT_TRUE (ImagePack::getImage (index).isNull()) << index;
}

TEST_F (ImagePackTest, RebindingAnIndexDecodesTheNewFile)
{
    TestPack pack (writePack (skinFiles()));
    ASSERT_TRUE (pack.create());
    ASSERT_EQ (ImagePack::getImage (0).getWidth(), 10);

    ImagePack::registerImage (0, "CloseOn.png");
    EXPECT_EQ (ImagePack::getImage (0).getWidth(), 17);

    ImagePack::registerImage (0, "NotInThePack.png");
    EXPECT_TRUE (ImagePack::getImage (0).isNull());
}

TEST_F (ImagePackTest, TheLaterOfTwoEntriesOfOneNameWins)
{
    auto files = skinFiles();
    files.push_back ({ "Background.png", pngOf (99, 3) });
    TestPack pack (writePack (files));
    ASSERT_TRUE (pack.create());

    EXPECT_EQ (ImagePack::getImage (ImagePack::background).getWidth(), 99);
}

TEST_F (ImagePackTest, ABodyThatIsNoImageIsReadAgainOnEveryRequest)
{
    auto files = skinFiles();
    files[0].body = { 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e' };
    TestPack pack (writePack (files));
    ASSERT_TRUE (pack.create());
    pack.reads.clear();

    EXPECT_TRUE (ImagePack::getImage (0).isNull());
    EXPECT_TRUE (ImagePack::getImage (0).isNull());
    EXPECT_EQ (pack.reads[8], 2);
}

TEST_F (ImagePackTest, DamagedPacksAreRefusedAndGiveNullImages)
{
    struct Damage
    {
        const char* what;
        std::function<void (TestPack&)> apply;
        const char* logged;
    };

    const Damage damages[] = {
        { "zero count", [] (TestPack& p) { p.setWord (4, 0); }, "Image pack has no entries" },
        { "huge count", [] (TestPack& p) { p.setWord (4, 0xFFFFFFFF); }, "Image pack directory outside the pack" },
        { "directory offset beyond the block", [] (TestPack& p) { p.setWord (0, (std::uint32_t) p.block.size() + 16); },
          "Image pack directory outside the pack" },
        { "truncated directory", [] (TestPack& p) { p.block.resize (p.block.size() - 8); },
          "Image pack directory outside the pack" },
        { "too short for a header", [] (TestPack& p) { p.block.resize (5); }, "Image pack too short" },
        { "body beyond the block", [] (TestPack& p) { p.setWord (p.entryAt (3) + 12, 0xFFFFFFF0); },
          "Image pack entry 3 outside the pack" },
        { "body offset beyond the block", [] (TestPack& p) { p.setWord (p.entryAt (0) + 8, 0xFFFFFFFF); },
          "Image pack entry 0 outside the pack" },
        { "name beyond the block", [] (TestPack& p) { p.setWord (p.entryAt (5) + 4, 1u << 30); },
          "Image pack entry 5 outside the pack" },
        { "body inside the directory", [] (TestPack& p) { p.setWord (p.entryAt (2) + 8, p.word (0)); },
          "Image pack entry 2 outside the pack" },
    };

    for (const auto& damage : damages)
    {
        SCOPED_TRACE (damage.what);
        LogCapture::instance().clear();
        TestPack pack (writePack (skinFiles()));
        damage.apply (pack);

        EXPECT_FALSE (pack.create());
        EXPECT_TRUE (LogCapture::instance().contains (damage.logged));
        for (std::uint32_t index = 0; index < ImagePack::numImages; ++index)
            EXPECT_TRUE (ImagePack::getImage (index).isNull());
    }
}

TEST_F (ImagePackTest, AReaderThatFailsLeavesThePackEmpty)
{
    EXPECT_FALSE (ImagePack::create ([] (std::uint32_t, std::uint32_t, void*) { return false; }, 1024));
    EXPECT_TRUE (LogCapture::instance().contains ("Image pack header unreadable"));
    EXPECT_TRUE (ImagePack::getImage (0).isNull());

    // A reader that gives up part way: at the directory, then at a name.
    TestPack pack (writePack (skinFiles()));
    const auto directoryOffset = pack.word (0);
    const auto thirdName = pack.word (pack.entryAt (2));

    for (const auto& [failingOffset, logged] : { std::pair { directoryOffset, "Image pack directory unreadable" },
                                                 std::pair { thirdName, "Image pack name 2 unreadable" } })
    {
        SCOPED_TRACE (logged);
        LogCapture::instance().clear();
        auto inner = pack.reader();
        const ImagePack::Reader failing = [inner, failingOffset = failingOffset] (std::uint32_t offset, std::uint32_t size,
                                                                                 void* destination)
        { return offset != failingOffset && inner (offset, size, destination); };

        EXPECT_FALSE (ImagePack::create (failing, (std::uint32_t) pack.block.size()));
        EXPECT_TRUE (LogCapture::instance().contains (logged));
        EXPECT_TRUE (ImagePack::getImage (0).isNull());
    }
}
