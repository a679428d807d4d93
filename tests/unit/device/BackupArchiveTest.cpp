#include "Application/BackupArchive.h"
#include "Application/BundleWriter.h"
#include "Protocol/KorvaluneDataFile.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"
#include "support/MemoryStreams.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Korvalune;
using namespace Korvalune::KorvaluneData;

namespace
{
UserCabinetData makeCabinet (int slot, const std::string& name)
{
    UserCabinetData cabinet;
    cabinet.slot = slot;
    cabinet.name = name;
    for (size_t i = 0; i < cabinet.samples.size(); ++i)
        cabinet.samples[i] = (uint32_t) (i * 2654435761u + (uint32_t) slot);
    return cabinet;
}

QuellonArchive fullArchive()
{
    QuellonArchive archive;
    archive.versions = std::make_unique<DeviceVersionInfo>();
    archive.versions->system = { 1, 0, 3, 0 };
    archive.versions->dsp = { 1, 2, 7, 0 };
    archive.firmware = std::make_unique<std::vector<uint8_t>> (std::vector<uint8_t> { 0x80, 0x40, 0x01, 0xF0 });
    archive.cabinets = { makeCabinet (0, "Closed 4x10"), makeCabinet (1, "Open 1x15"), makeCabinet (2, "BYPASS") };
    archive.globals = std::make_unique<ParamMap> (ParamMap { { 0x200, 0x3f000000 }, { 0x205, 2 }, { 0x208, 1 } });
    return archive;
}

void expectSameCabinets (const std::vector<UserCabinetData>& a, const std::vector<UserCabinetData>& b)
{
    ASSERT_EQ (a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
    {
        EXPECT_EQ (a[i].slot, b[i].slot);
        EXPECT_EQ (a[i].name, b[i].name);
        EXPECT_EQ (a[i].samples, b[i].samples);
    }
}

std::string text (const std::function<Result (IOutputStream&)>& write)
{
    MemoryOut out;
    EXPECT_TRUE (write (out).ok);
    return out.text();
}

std::string cabinetFile (const UserCabinetData& cabinet, uint32_t index)
{
    return text ([&] (IOutputStream& o) { return writeCabinetFile (cabinet, o, index); });
}

std::string globalsFile (const ParamMap& params)
{
    return text ([&] (IOutputStream& o) { return writeGlobalsFile (params, o); });
}

// A zip as another tool would make it: entries of our choosing, deflated
// unless asked otherwise.
class ZipMaker
{
public:
    ZipMaker& add (const juce::String& name, const std::string& bytes, int level = 9)
    {
        builder.addEntry (new juce::MemoryInputStream (bytes.data(), bytes.size(), true), level, name,
                          juce::Time::getCurrentTime());
        return *this;
    }

    void writeTo (const juce::File& file) const
    {
        (void) file.deleteFile();
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (builder.writeToStream (out, nullptr));
    }

private:
    juce::ZipFile::Builder builder;
};

void expectFailure (Result r, const char* message, const char* source = "BackupArchive.cpp")
{
    ASSERT_FALSE (r.ok);
    EXPECT_STREQ (r.message, message);
    EXPECT_TRUE (LogCapture::instance().contains (std::string ("Error at ") + source)) << message;
}
} // namespace

class BackupBundle : public testing::Test
{
protected:
    void SetUp() override
    {
        LogCapture::instance().clear();
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("bundle-test", "", false);
        ASSERT_TRUE (folder.createDirectory().wasOk());
    }

    void TearDown() override { (void) folder.deleteRecursively(); }

    juce::File file (const char* name) const { return folder.getChildFile (name); }

    std::vector<juce::String> entryNames (const juce::File& bundle) const
    {
        juce::ZipFile zip (bundle);
        std::vector<juce::String> names;
        for (int i = 0; i < zip.getNumEntries(); ++i)
            names.push_back (zip.getEntry (i)->filename);
        return names;
    }

    juce::File folder;
};

TEST_F (BackupBundle, FullArchiveRoundTripsInEntryOrderAsStoredEntries)
{
    const auto archive = fullArchive();
    const auto bundle = file ("backup.bbu");
    ASSERT_TRUE (BackupArchive::create (archive, bundle).ok);

    const std::vector<juce::String> expected { "ArchiveInfo.txt", "VarnelAmp.ldr", "Varnel_Quellon_0.cab",
                                               "Varnel_Quellon_1.cab", "Varnel_Quellon_2.cab",
                                               "Varnel_Korvalune_0.glo" };
    EXPECT_EQ (entryNames (bundle), expected);

    // Stored entries: the file holds every entry's bytes in full (the cabinet
    // texts would deflate to a small fraction of that).
    juce::ZipFile zip (bundle);
    juce::int64 unpacked = 0;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        unpacked += zip.getEntry (i)->uncompressedSize;
    EXPECT_GT (bundle.getSize(), unpacked);
    EXPECT_EQ (zip.getEntry (2)->uncompressedSize, 25657);

    // The firmware entry holds the image in file order.
    std::unique_ptr<juce::InputStream> firmware (zip.createStreamForEntry (1));
    juce::MemoryBlock bytes;
    firmware->readIntoMemoryBlock (bytes);
    EXPECT_EQ (bytes, juce::MemoryBlock ("\x01\x02\x80\x0f", 4));

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, bundle).ok);
    ASSERT_NE (back.versions, nullptr);
    EXPECT_EQ (back.versions->system, (Version { 1, 0, 3, 0 }));
    EXPECT_EQ (back.versions->dsp, (Version { 1, 2, 7, 0 }));
    ASSERT_NE (back.firmware, nullptr);
    EXPECT_EQ (*back.firmware, *archive.firmware);
    expectSameCabinets (back.cabinets, archive.cabinets);
    ASSERT_NE (back.globals, nullptr);
    EXPECT_EQ (*back.globals, *archive.globals);
}

// Users name their folders in their own language. On Windows such a path
// reaches the file system only through the wide-character calls; a narrow
// call would miss the folder or write somewhere else.
TEST_F (BackupBundle, ABundleInAFolderWithNonAsciiCharactersIsWrittenReplacedAndRead)
{
    const auto where = folder.getChildFile (juce::CharPointer_UTF8 ("B\xc3\xa4sse \xe2\x80\x94 \xe6\x97\xa5\xe6\x9c\xac \xce\xb1\xcf\x89"));
    ASSERT_TRUE (where.createDirectory().wasOk());
    const auto bundle = where.getChildFile (juce::CharPointer_UTF8 ("Sicherung \xc3\xbc\xe2\x9c\x93.bbu"));

    auto first = fullArchive();
    first.cabinets.resize (1);
    ASSERT_TRUE (BackupArchive::create (first, bundle).ok);
    const auto archive = fullArchive();
    ASSERT_TRUE (BackupArchive::create (archive, bundle).ok) << "an existing bundle is replaced";

    EXPECT_EQ (where.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
    EXPECT_TRUE (where.getChildFile (bundle.getFileName()).existsAsFile()) << "the name is kept exactly";

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, bundle).ok);
    ASSERT_NE (back.firmware, nullptr);
    EXPECT_EQ (*back.firmware, *archive.firmware);
    expectSameCabinets (back.cabinets, archive.cabinets);
    ASSERT_NE (back.globals, nullptr);
    EXPECT_EQ (*back.globals, *archive.globals);
}

TEST_F (BackupBundle, EachPartIsWrittenAndReadOnlyWhenPresent)
{
    for (int mask = 1; mask < 16; ++mask)
    {
        SCOPED_TRACE (mask);
        auto archive = fullArchive();
        if ((mask & 1) == 0)
            archive.versions.reset();
        if ((mask & 2) == 0)
            archive.firmware.reset();
        if ((mask & 4) == 0)
            archive.cabinets.clear();
        if ((mask & 8) == 0)
            archive.globals.reset();

        const auto bundle = file ("part.bbu");
        ASSERT_TRUE (BackupArchive::create (archive, bundle).ok);
        const size_t entries = (mask & 1) + ((mask >> 1) & 1) + ((mask >> 3) & 1) + (mask & 4 ? 3 : 0);
        EXPECT_EQ (entryNames (bundle).size(), entries);

        QuellonArchive back;
        ASSERT_TRUE (BackupArchive::load (back, bundle).ok);
        EXPECT_EQ (back.versions != nullptr, archive.versions != nullptr);
        EXPECT_EQ (back.firmware != nullptr, archive.firmware != nullptr);
        EXPECT_EQ (back.globals != nullptr, archive.globals != nullptr);
        if (archive.globals != nullptr)
        {
            EXPECT_EQ (*back.globals, *archive.globals);
        }
        expectSameCabinets (back.cabinets, archive.cabinets);
    }
}

TEST_F (BackupBundle, AnEmptyArchiveWritesAZipThatLoadingRefuses)
{
    const auto bundle = file ("empty.bbu");
    ASSERT_TRUE (BackupArchive::create (QuellonArchive(), bundle).ok);
    EXPECT_TRUE (bundle.existsAsFile());
    EXPECT_TRUE (entryNames (bundle).empty());

    QuellonArchive back;
    expectFailure (BackupArchive::load (back, bundle), "Not a valid backup file");
}

TEST_F (BackupBundle, FilesThatAreNoZipAreRefused)
{
    QuellonArchive back;
    expectFailure (BackupArchive::load (back, file ("missing.bbu")), "Not a valid backup file");

    ASSERT_TRUE (file ("text.bbu").replaceWithText ("# File Type: Globals data\n\n"));
    expectFailure (BackupArchive::load (back, file ("text.bbu")), "Not a valid backup file");

    ASSERT_TRUE (file ("nothing.bbu").create().wasOk());
    expectFailure (BackupArchive::load (back, file ("nothing.bbu")), "Not a valid backup file");

    expectFailure (BackupArchive::load (back, folder), "Not a valid backup file");

    EXPECT_EQ (back.versions, nullptr);
    EXPECT_TRUE (back.cabinets.empty());
}

TEST_F (BackupBundle, AFileLargerThanAnyBundleIsRefusedUnread)
{
    const auto big = file ("big.bbu");
    {
        juce::FileOutputStream out (big);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (out.setPosition (BackupArchive::maxBundleFileBytes));   // sparse
        ASSERT_TRUE (out.writeByte (0));
    }

    QuellonArchive back;
    expectFailure (BackupArchive::load (back, big), "Backup file too large: %lld bytes");
    EXPECT_TRUE (LogCapture::instance().contains ("Backup file too large: 67108865 bytes"));
}

TEST_F (BackupBundle, CabinetSlotsComeFromTheFileIndexEvenWhenNegative)
{
    QuellonArchive archive;
    archive.cabinets = { makeCabinet (-1, "minus"), makeCabinet (7, "seven") };
    const auto bundle = file ("slots.bbu");
    ASSERT_TRUE (BackupArchive::create (archive, bundle).ok);
    EXPECT_EQ (entryNames (bundle), (std::vector<juce::String> { "Varnel_Quellon_-1.cab", "Varnel_Quellon_7.cab" }));

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, bundle).ok);
    expectSameCabinets (back.cabinets, archive.cabinets);

    // An entry's name says nothing about its slot.
    ZipMaker().add ("Varnel_Quellon_0.cab", cabinetFile (makeCabinet (0, "two"), 2)).writeTo (file ("renamed.bbu"));
    QuellonArchive renamed;
    ASSERT_TRUE (BackupArchive::load (renamed, file ("renamed.bbu")).ok);
    ASSERT_EQ (renamed.cabinets.size(), 1u);
    EXPECT_EQ (renamed.cabinets[0].slot, 2);
}

TEST_F (BackupBundle, EveryEntryCarriesTheTimeOfWritingToTheSecond)
{
    QuellonArchive archive;
    archive.cabinets = { makeCabinet (0, "a"), makeCabinet (1, "b") };
    archive.globals = std::make_unique<ParamMap>();
    const auto bundle = file ("time.bbu");

    const auto before = juce::Time::getCurrentTime();
    ASSERT_TRUE (BackupArchive::create (archive, bundle).ok);
    const auto after = juce::Time::getCurrentTime();

    juce::ZipFile zip (bundle);
    ASSERT_EQ (zip.getNumEntries(), 3);
    const auto stamp = zip.getEntry (0)->fileTime;
    for (int i = 1; i < 3; ++i)
        EXPECT_EQ (zip.getEntry (i)->fileTime, stamp);

    // The zip format keeps even seconds: the stamp lies at most two seconds
    // before the write began and never after it ended.
    EXPECT_GE (stamp.toMilliseconds(), before.toMilliseconds() - 2000);
    EXPECT_LE (stamp.toMilliseconds(), after.toMilliseconds());
}

TEST_F (BackupBundle, TimeStampsSurviveTheZipFormatForEverySecond)
{
    for (int second = 0; second < 60; ++second)
    {
        const juce::Time t (2024, 10, 31, 23, 59, second);
        juce::ZipFile::Builder builder;
        builder.addEntry (new juce::MemoryInputStream ("x", 1, true), 0, "x", BundleWriter::zipTimeStamp (t));
        juce::MemoryOutputStream out;
        ASSERT_TRUE (builder.writeToStream (out, nullptr));

        juce::ZipFile zip (new juce::MemoryInputStream (out.getData(), out.getDataSize(), false), true);
        const auto back = zip.getEntry (0)->fileTime;
        EXPECT_EQ (back.getMinutes(), 59) << second;
        EXPECT_EQ (back.getHours(), 23) << second;
        EXPECT_EQ (back.getSeconds(), second - second % 2);
    }
}

TEST_F (BackupBundle, BundlesFromOtherToolsAreReadByTheEndsOfTheirNames)
{
    const auto bad = std::string ("not a data file at all");
    ZipMaker()
        .add ("My Backup/", "", 0)
        .add ("My Backup/ARCHIVEINFO.TXT", "SYSTEM_FW_VERSION : 2 . 1 . 0\nDSP_FW_VERSION : 3.4.5\n")
        .add ("My Backup/VARNEL_QUELLON_2.CAB", cabinetFile (makeCabinet (9, "deflated"), 2))
        .add ("__MACOSX/My Backup/._VARNEL_QUELLON_2.CAB", bad)
        .add (".DS_Store", bad)
        .add ("My Backup/.DS_Store", bad)
        .add ("My Backup/readme.md", bad)
        .add ("My Backup/Varnel_Korvalune_0.GLO", globalsFile ({ { 0x201, 5 } }))
        .add ("My Backup/varnelamp.LDR", "\x01\x02", 0)
        .writeTo (file ("other.bbu"));

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, file ("other.bbu")).ok);
    ASSERT_NE (back.versions, nullptr);
    EXPECT_EQ (back.versions->system, (Version { 2, 1, 0, 0 }));
    EXPECT_EQ (back.versions->dsp, (Version { 3, 4, 5, 0 }));
    ASSERT_EQ (back.cabinets.size(), 1u);
    EXPECT_EQ (back.cabinets[0].slot, 2);
    EXPECT_EQ (back.cabinets[0].name, "deflated");
    ASSERT_NE (back.globals, nullptr);
    EXPECT_EQ (*back.globals, (ParamMap { { 0x201, 5 } }));
    ASSERT_NE (back.firmware, nullptr);
    EXPECT_EQ (*back.firmware, (std::vector<uint8_t> { 0x80, 0x40 }));

    // Hidden names at the top are skipped silently; inside a folder they are
    // unknown entries like any other, and so is the folder itself.
    EXPECT_FALSE (LogCapture::instance().contains ("__MACOSX"));
    EXPECT_FALSE (LogCapture::instance().contains ("'.DS_Store'"));
    EXPECT_TRUE (LogCapture::instance().contains ("WARNING: Unrecognized entry in backup archive: 'My Backup/.DS_Store'"));
    EXPECT_TRUE (LogCapture::instance().contains ("WARNING: Unrecognized entry in backup archive: 'My Backup/readme.md'"));
    EXPECT_TRUE (LogCapture::instance().contains ("WARNING: Unrecognized entry in backup archive: 'My Backup/'"));
}

TEST_F (BackupBundle, BundlesMadeByTheZipToolAreRead)
{
    if (std::system ("command -v zip >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the zip tool is not installed";

    const auto tree = folder.getChildFile ("Backup 2024");
    ASSERT_TRUE (tree.getChildFile ("Cabinets").createDirectory().wasOk());
    ASSERT_TRUE (tree.getChildFile ("Cabinets/Varnel_Quellon_0.cab").replaceWithText (cabinetFile (makeCabinet (0, "zero"), 0)));
    ASSERT_TRUE (tree.getChildFile ("Cabinets/Varnel_Quellon_1.Cab").replaceWithText (cabinetFile (makeCabinet (1, "one"), 1)));
    ASSERT_TRUE (tree.getChildFile ("Varnel_Korvalune_0.glo").replaceWithText (globalsFile ({ { 0x200, 1 } })));

    const auto command = "cd '" + folder.getFullPathName() + "' && zip -qr tool.bbu 'Backup 2024'";
    ASSERT_EQ (std::system (command.toRawUTF8()), 0);

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, file ("tool.bbu")).ok);
    ASSERT_EQ (back.cabinets.size(), 2u);
    ASSERT_NE (back.globals, nullptr);
    EXPECT_EQ (*back.globals, (ParamMap { { 0x200, 1 } }));
    for (const auto& cabinet : back.cabinets)
        EXPECT_EQ (cabinet.name, cabinet.slot == 0 ? "zero" : "one");
}

TEST_F (BackupBundle, ALaterEntryReplacesTheParts)
{
    ZipMaker()
        .add ("a/Varnel_Korvalune_0.glo", globalsFile ({ { 0x200, 1 } }))
        .add ("b/Varnel_Korvalune_0.glo", globalsFile ({ { 0x203, 4 } }))
        .writeTo (file ("twice.bbu"));

    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::load (back, file ("twice.bbu")).ok);
    EXPECT_EQ (*back.globals, (ParamMap { { 0x203, 4 } }));
}

TEST_F (BackupBundle, AnEntryThatFailsEndsTheRestoreWithItsOwnMessage)
{
    // A ".cab" entry holding a globals file: one segment is too few.
    ZipMaker().add ("Varnel_Quellon_0.cab", globalsFile ({})).writeTo (file ("glo-as-cab.bbu"));
    QuellonArchive a;
    expectFailure (BackupArchive::load (a, file ("glo-as-cab.bbu")), "Too few segments in cabinet file",
                   "KorvaluneDataFile.cpp");

    // A globals-type file with two segments gets as far as its type.
    const auto twoSegments = text ([] (IOutputStream& o) {
        return KorvaluneDataFile (GlobalsFile, 0, { KorvaluneDataFile::Segment (8192), KorvaluneDataFile::Segment (4) }).write (o);
    });
    ZipMaker().add ("Varnel_Quellon_0.cab", twoSegments).writeTo (file ("two.bbu"));
    QuellonArchive b;
    expectFailure (BackupArchive::load (b, file ("two.bbu")), "Not a cabinet file", "KorvaluneDataFile.cpp");

    // What was read before the failure stays; the failed cabinet has its record.
    ZipMaker()
        .add ("ArchiveInfo.txt", "DSP_FW_VERSION : 1.2.3\n")
        .add ("Varnel_Quellon_1.cab", "# File Type: User Cabinet data, Index = 1\n\n")
        .add ("Varnel_Korvalune_0.glo", globalsFile ({ { 0x200, 1 } }))
        .writeTo (file ("partial.bbu"));
    QuellonArchive c;
    expectFailure (BackupArchive::load (c, file ("partial.bbu")), "Too few segments in cabinet file",
                   "KorvaluneDataFile.cpp");
    ASSERT_NE (c.versions, nullptr);
    EXPECT_EQ (c.versions->dsp, (Version { 1, 2, 3, 0 }));
    ASSERT_EQ (c.cabinets.size(), 1u);
    EXPECT_EQ (c.cabinets[0].samples, UserCabinetData().samples);
    EXPECT_EQ (c.globals, nullptr);

    ZipMaker().add ("Varnel_Korvalune_0.glo", "").writeTo (file ("empty-glo.bbu"));
    QuellonArchive d;
    expectFailure (BackupArchive::load (d, file ("empty-glo.bbu")), "Reached end of file looking for type",
                   "KorvaluneDataFile.cpp");
}

TEST_F (BackupBundle, AnEntryThatUnpacksWithoutEndIsRefused)
{
    // Deflate squeezes each of these to a few kilobytes; together they unpack
    // past the allowance although each alone is a plausible firmware image.
    const std::string zeros (12 * 1024 * 1024, '\0');
    ZipMaker()
        .add ("1/VarnelAmp.ldr", zeros)
        .add ("2/VarnelAmp.ldr", zeros)
        .add ("3/VarnelAmp.ldr", zeros)
        .writeTo (file ("bomb.bbu"));
    EXPECT_LT (file ("bomb.bbu").getSize(), 200 * 1024);

    QuellonArchive back;
    expectFailure (BackupArchive::load (back, file ("bomb.bbu")), "Backup file unpacks to more than %d bytes");
    EXPECT_TRUE (LogCapture::instance().contains ("Backup file unpacks to more than 33554432 bytes"));
}

TEST_F (BackupBundle, AnEntryStatedLongerThanTheFileEndsWithTheFile)
{
    ZipMaker().add ("ArchiveInfo.txt", "SYSTEM_FW_VERSION : 1.2.3\n", 0).writeTo (file ("liar.bbu"));
    juce::MemoryBlock bytes;
    ASSERT_TRUE (file ("liar.bbu").loadFileAsData (bytes));

    // The central directory's sizes of the one entry now claim 2 GB.
    auto* data = static_cast<uint8_t*> (bytes.getData());
    size_t at = 0;
    while (at + 4 < bytes.getSize() && std::memcmp (data + at, "PK\x01\x02", 4) != 0)
        ++at;
    ASSERT_LT (at + 28, bytes.getSize());
    for (size_t field : { at + 20, at + 24 })
        std::memcpy (data + field, "\xff\xff\xff\x7f", 4);

    juce::ZipFile zip (new juce::MemoryInputStream (bytes, false), true);
    QuellonArchive back;
    ASSERT_TRUE (BackupArchive::restore (zip, back).ok);
    ASSERT_NE (back.versions, nullptr);
    EXPECT_EQ (back.versions->system, (Version { 1, 2, 3, 0 }));
}

TEST_F (BackupBundle, AnUnencodablePartFailsBeforeTheTargetIsTouched)
{
    auto archive = fullArchive();
    for (uint32_t id = 0; id < 129; ++id)
        (*archive.globals)[id] = id;

    const auto bundle = file ("keep.bbu");
    ASSERT_TRUE (bundle.replaceWithText ("the old backup"));
    expectFailure (BackupArchive::create (archive, bundle), "Too many params", "KorvaluneData.cpp");
    EXPECT_EQ (bundle.loadFileAsString(), "the old backup");
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 1);
}

TEST_F (BackupBundle, WritingOverAnExistingFileReplacesItWhole)
{
    const auto bundle = file ("over.bbu");
    ASSERT_TRUE (bundle.replaceWithText (juce::String::repeatedString ("old", 100000)));

    QuellonArchive archive;
    archive.globals = std::make_unique<ParamMap>();
    ASSERT_TRUE (BackupArchive::create (archive, bundle).ok);
    EXPECT_LT (bundle.getSize(), 4000);
    EXPECT_EQ (entryNames (bundle), (std::vector<juce::String> { "Varnel_Korvalune_0.glo" }));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);

    // An empty folder of the target's name gives way as well.
    ASSERT_TRUE (file ("folder.bbu").createDirectory().wasOk());
    ASSERT_TRUE (BackupArchive::create (archive, file ("folder.bbu")).ok);
    EXPECT_TRUE (file ("folder.bbu").existsAsFile());
}

TEST_F (BackupBundle, ATargetThatCannotBeReplacedIsLeftAsItWas)
{
    QuellonArchive archive;
    archive.globals = std::make_unique<ParamMap>();

    const auto occupied = file ("occupied.bbu");
    ASSERT_TRUE (occupied.getChildFile ("inside.txt").create().wasOk());
    expectFailure (BackupArchive::create (archive, occupied), "Failed to overwrite file", "BundleWriter.cpp");
    EXPECT_TRUE (occupied.getChildFile ("inside.txt").existsAsFile());

    expectFailure (BackupArchive::create (archive, file ("no such folder/b.bbu")), "Failed to overwrite file",
                   "BundleWriter.cpp");
}

TEST_F (BackupBundle, AFailedWriteKeepsTheOldBackupAndLeavesNoTemporaryFile)
{
    const auto bundle = file ("precious.bbu");
    ASSERT_TRUE (BackupArchive::create (fullArchive(), bundle).ok);
    juce::MemoryBlock before;
    ASSERT_TRUE (bundle.loadFileAsData (before));

    auto archive = fullArchive();
    archive.firmware->assign (256 * 1024, 0x5a);

    // A file-size limit makes the writes fail part way, as a full disk would.
    auto r = Korvalune::okResult;
    {
        FileSizeLimit limit (64 * 1024);
        if (! limit.isActive())
            GTEST_SKIP() << "no file-size limit on this platform";
        r = BackupArchive::create (archive, bundle);
    }

    expectFailure (r, "Failed to write zip file", "BundleWriter.cpp");
    juce::MemoryBlock after;
    ASSERT_TRUE (bundle.loadFileAsData (after));
    EXPECT_EQ (after, before);
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST (BackupArchiveParts, AppendCabinetAddsADefaultRecordAtTheEnd)
{
    QuellonArchive archive;
    archive.cabinets.push_back (makeCabinet (2, "first"));
    auto& added = BackupArchive::appendCabinet (archive);
    ASSERT_EQ (archive.cabinets.size(), 2u);
    EXPECT_EQ (&added, &archive.cabinets.back());
    EXPECT_EQ (added.slot, 0);
    EXPECT_EQ (added.samples, UserCabinetData().samples);
    EXPECT_TRUE (added.name.empty());
}
