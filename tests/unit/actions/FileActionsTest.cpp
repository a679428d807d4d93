// The main menu, the cabinet menus and the file actions behind them, on the
// real view over a real service and a virtual unit. The test answers the
// menus and the file dialogs in the user's place (the view's askMenu and
// askFile); the end-to-end tests drive the real ones.

#include "Application/BackupArchive.h"
#include "BuiltInFirmware.h"
#include "Protocol/KorvaluneDataFile.h"
#include "support/AudioFiles.h"
#include "support/MemoryStreams.h"
#include "unit/editor/ViewTestSupport.h"

#include <cstdlib>

using namespace viewtest;
using Service = Quellon::QuellonEditorService;
using Archive = Service::QuellonArchive;
using Cabinet = vunit::VirtualUnit::Cabinet;

namespace
{
struct MenuItem
{
    int id;
    juce::String text;
    bool enabled, ticked;

    bool operator== (const MenuItem& other) const
    {
        return id == other.id && text == other.text && enabled == other.enabled && ticked == other.ticked;
    }
};

std::ostream& operator<< (std::ostream& out, const MenuItem& item)
{
    return out << item.id << " \"" << item.text << "\" " << (item.enabled ? "on" : "off")
               << (item.ticked ? " ticked" : "");
}

using Items = std::vector<MenuItem>;

Cabinet patternCabinet (std::uint32_t seed, std::string name)
{
    Cabinet cabinet;
    for (std::size_t i = 0; i < cabinet.words.size(); ++i)
        cabinet.words[i] = (seed << 20) + (std::uint32_t) i;
    cabinet.name = std::move (name);
    return cabinet;
}

std::vector<std::uint8_t> reversed (const void* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes (
        static_cast<const std::uint8_t*> (data), static_cast<const std::uint8_t*> (data) + size);
    Korvalune::reverseBitsInBytes (bytes.data(), bytes.size());
    return bytes;
}

std::array<std::uint32_t, 1024> firstHalf (const Service::UserCabinetData& cabinet)
{
    std::array<std::uint32_t, 1024> words;
    std::copy (cabinet.samples.begin(), cabinet.samples.begin() + 1024, words.begin());
    return words;
}

// The view with a settings file and a home folder of the test's own, whose
// menus and dialogs the test answers.
class FileActions : public ViewFixture
{
protected:
    void SetUp() override
    {
        const char* old = std::getenv ("HOME");
        oldHome = old != nullptr ? old : "";
        home = folder.getFile().getChildFile ("home");
        ASSERT_TRUE (home.getChildFile ("Documents").createDirectory());
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

        juce::PropertiesFile::Options options;
        options.applicationName = "FileActionsTest";
        options.millisecondsBeforeSaving = -1;
        settings = std::make_unique<juce::PropertiesFile> (folder.getFile().getChildFile ("test.settings"), options);

        ViewFixture::SetUp();
        view = std::make_unique<MainComponent> (settings.get(), &service);
        view->askMenu = [this] (juce::PopupMenu& menu)
        {
            Items items;
            for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
                items.push_back (
                    { it.getItem().itemID, it.getItem().text, it.getItem().isEnabled, it.getItem().isTicked });
            menus.push_back (items);
            return menuAnswer;
        };
        view->askFile = [this] (const MainComponent::FileQuestion& question)
        {
            questions.push_back (question);
            if (onQuestion)
                onQuestion();
            return fileAnswer;
        };
        settle();
    }

    void TearDown() override
    {
        ViewFixture::TearDown();
        setenv ("HOME", oldHome.c_str(), 1);
    }

    // A unit with its own globals and cabinets, connected and idle.
    void plugFilled (vunit::UnitSettings settings = {}, Service::State expected = Service::Idle)
    {
        unit = std::make_shared<vunit::VirtualUnit> ("virtual:actions", std::move (settings));
        unit->setGlobal (0x200, bitsOf (0.25f));
        unit->setGlobal (0x205, bitsOf (-3.5f));
        for (int slot = 0; slot < 3; ++slot)
            unit->setCabinet (slot, patternCabinet ((std::uint32_t) slot + 1, "Unit " + std::to_string (slot)));
        connect (expected);
        EXPECT_EQ ((int) service.getState(), (int) expected) << service.getLastError();
        unit->clearFrames();
        LogCapture::instance().clear();
    }

    void menuChoice (int id) { menuAnswer = id; }
    void fileChoice (const juce::File& file) { fileAnswer = file; }

    juce::File file (const char* name) { return folder.getFile().getChildFile (name); }

    juce::File writeFile (const char* name, const std::string& bytes)
    {
        auto f = file (name);
        EXPECT_TRUE (f.getParentDirectory().createDirectory());
        EXPECT_TRUE (f.replaceWithData (bytes.data(), bytes.size()));
        return f;
    }

    // Runs the message loop until the service is idle again and has no task left.
    void waitUntilSettled()
    {
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            ASSERT_TRUE (GuiTest::runUntil ([&] { return service.getState() == Service::Idle; }, deadlineMs));
            std::atomic<bool> ran { false };
            if (service
                    .startIdleTask (
                        [&ran] (Korvalune::TaskQueue::Task&)
                        {
                            ran = true;
                            return Korvalune::okResult;
                        })
                    .ok)
            {
                ASSERT_TRUE (GuiTest::runUntil ([&] { return ran.load(); }, deadlineMs));
                if (service.getState() == Service::Idle)
                {
                    settle();
                    return;
                }
            }
        }
        FAIL() << "the service never settled";
    }

    // Alerts shown so far, once the messages that post them have run.
    std::vector<juce::String> alerts()
    {
        settle();
        std::vector<juce::String> texts;
        for (auto& alert : alertRecorder.alerts)
        {
            EXPECT_EQ (alert.title, "Error");
            texts.push_back (alert.message);
        }
        return texts;
    }

    void expectOneAlert (const char* text, bool logged)
    {
        ASSERT_TRUE (GuiTest::runUntil ([&] { return !alertRecorder.alerts.empty(); }, deadlineMs)) << text;
        EXPECT_EQ (alerts(), std::vector<juce::String> { text });
        EXPECT_EQ (LogCapture::instance().contains (std::string ("MainComponent.cpp:")), logged) << text;
        if (logged)
        {
            EXPECT_TRUE (LogCapture::instance().contains (std::string (": ") + text));
        }
    }

    void expectNothingSent()
    {
        settle();
        EXPECT_TRUE (unit->getFrames().empty()) << unit->getFrames().size() << " frames";
    }

    juce::String lastDirectory() { return settings->getValue ("lastDirectory"); }

    juce::TemporaryFile folder { "actions" };
    juce::File home;
    std::string oldHome;
    std::unique_ptr<juce::PropertiesFile> settings;

    int menuAnswer = 0;
    juce::File fileAnswer;
    std::function<void()> onQuestion;
    std::vector<Items> menus;
    std::vector<MainComponent::FileQuestion> questions;
};

const Items mainMenu (bool backup, bool update)
{
    return { { 1, "Backup", backup, false }, { 2, "Restore", backup, false }, { 5, "Update Firmware", update, false },
        { 6, "Update Firmware from File", update, false } };
}
} // namespace

//==============================================================================
TEST_F (FileActions, TheMainMenuFollowsTheStateItOpensIn)
{
    view->showMainMenu();
    EXPECT_EQ (menus.back(), mainMenu (false, false)) << "not connected";

    vunit::UnitSettings old;
    old.dsp = { 1, 1, 0, 0 };
    plugFilled (old, Service::FirmwareUpdateRequired);
    view->showMainMenu();
    EXPECT_EQ (menus.back(), mainMenu (false, true)) << "an update is required";

    unplug();
    plugFilled();
    view->showMainMenu();
    EXPECT_EQ (menus.back(), mainMenu (true, true)) << "idle";

    service.reportError ("Something failed");
    view->showMainMenu();
    EXPECT_EQ (menus.back(), mainMenu (false, true)) << "after an error";

    // Dismissed: nothing is asked, sent or shown.
    EXPECT_TRUE (questions.empty());
    expectNothingSent();
    EXPECT_TRUE (alerts().empty());
}

TEST_F (FileActions, TheCabinetMenuOffersAFileAndTheFactoryCabinets)
{
    view->showCabinetMenu (0);
    EXPECT_EQ (menus.back(),
        (Items { { 1, "From File...", true, false }, { 2, "BYPASS", true, false }, { 3, "1x12", true, false },
            { 4, "1x15", true, false }, { 5, "2x15", true, false }, { 6, "4x10", true, false },
            { 7, "8x10 Boogie", true, false }, { 8, "8x10 SVT", true, false } }));
    EXPECT_TRUE (questions.empty());
}

//==============================================================================
TEST_F (FileActions, ABackupWritesTheUnitIntoTheChosenBundle)
{
    plugFilled();
    const auto target = file ("bundles/Backup 1.bbu");
    ASSERT_TRUE (target.getParentDirectory().createDirectory());
    menuChoice (1);
    fileChoice (target);
    view->showMainMenu();

    ASSERT_EQ (questions.size(), 1u);
    EXPECT_EQ (questions[0].title, "Save Backup Bundle");
    EXPECT_EQ (questions[0].patterns, "*.bbu");
    EXPECT_TRUE (questions[0].save);
    EXPECT_EQ (questions[0].initialLocation, home.getChildFile ("Documents/Backup.bbu"));
    EXPECT_EQ (lastDirectory(), target.getFullPathName()) << "stored as chosen, before it exists";

    ASSERT_TRUE (GuiTest::runUntil ([&] { return target.existsAsFile(); }, deadlineMs));
    waitUntilSettled();

    juce::ZipFile zip (target);
    juce::StringArray names;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        names.add (zip.getEntry (i)->filename);
    EXPECT_EQ (names.joinIntoString (","),
        "Varnel_Quellon_0.cab,Varnel_Quellon_1.cab,Varnel_Quellon_2.cab,Varnel_Korvalune_0.glo");

    Archive archive;
    ASSERT_TRUE (Korvalune::BackupArchive::load (archive, target).ok);
    ASSERT_NE (archive.globals, nullptr);
    EXPECT_EQ (*archive.globals, unit->getGlobals());
    ASSERT_EQ (archive.cabinets.size(), 3u);
    for (int slot = 0; slot < 3; ++slot)
    {
        const auto& cabinet = archive.cabinets[(std::size_t) slot];
        EXPECT_EQ (cabinet.slot, slot);
        EXPECT_EQ (firstHalf (cabinet), unit->getCabinet (slot).words);
        EXPECT_TRUE (
            std::equal (cabinet.samples.begin(), cabinet.samples.begin() + 1024, cabinet.samples.begin() + 1024));
        EXPECT_EQ (cabinet.name, unit->getCabinet (slot).name);
    }
    EXPECT_TRUE (alerts().empty());

    // Now that the bundle exists, the next dialog opens in its folder.
    EXPECT_EQ (view->getInitialFile ("Backup.bbu"), target.getSiblingFile ("Backup.bbu"));
}

TEST_F (FileActions, ABundleThatCannotBeWrittenLeavesWhatWasThereAndSaysSo)
{
    plugFilled();

    // A folder of the target's name, with the user's files in it.
    const auto kept = writeFile ("Backup.bbu/notes.txt", "the user's notes");
    fileChoice (file ("Backup.bbu"));
    view->startBackup();
    expectOneAlert ("Failed to save archive", true);
    waitUntilSettled();
    EXPECT_EQ (kept.loadFileAsString(), "the user's notes");

    // And a target in a folder that is not there.
    alertRecorder.alerts.clear();
    fileChoice (file ("missing folder/Backup.bbu"));
    view->startBackup();
    expectOneAlert ("Failed to save archive", true);
    waitUntilSettled();
    EXPECT_FALSE (file ("missing folder").exists());
}

TEST_F (FileActions, ABackupTheServiceRefusesShowsItsOwnAlert)
{
    // The unit went away while the dialog was open.
    plugFilled();
    onQuestion = [this] { unplug(); };
    fileChoice (file ("Backup.bbu"));
    menuChoice (1);
    view->showMainMenu();
    expectOneAlert ("Failed to start backup", true);
    EXPECT_FALSE (file ("Backup.bbu").exists());
    EXPECT_FALSE (LogCapture::instance().contains ("Failed to save archive"));
    EXPECT_EQ (lastDirectory(), file ("Backup.bbu").getFullPathName()) << "remembered although it failed";
}

TEST_F (FileActions, ACancelledDialogEndsTheActionSilently)
{
    plugFilled();
    settings->setValue ("lastDirectory", folder.getFile().getFullPathName());

    for (int item : { 1, 2, 6 })
    {
        menuChoice (item);
        view->showMainMenu();
    }
    menuChoice (1);
    view->showCabinetMenu (0);

    EXPECT_EQ (questions.size(), 4u);
    expectNothingSent();
    EXPECT_TRUE (alerts().empty());
    EXPECT_EQ (lastDirectory(), folder.getFile().getFullPathName());
}

//==============================================================================
TEST_F (FileActions, ARestoreWritesTheBundleIntoTheUnit)
{
    Archive stored;
    stored.globals = std::make_unique<Korvalune::KorvaluneData::ParamMap> (
        Korvalune::KorvaluneData::ParamMap { { 0x200, bitsOf (0.75f) }, { 0x204, bitsOf (2.0f) } });
    for (int slot = 0; slot < 3; ++slot)
    {
        auto& cabinet = Korvalune::BackupArchive::appendCabinet (stored);
        cabinet.slot = slot;
        const auto pattern = patternCabinet ((std::uint32_t) slot + 7, "Stored " + std::to_string (slot));
        std::copy (pattern.words.begin(), pattern.words.end(), cabinet.samples.begin());
        cabinet.name = pattern.name;
    }
    const auto bundle = file ("restore/Stored.bbu");
    ASSERT_TRUE (bundle.getParentDirectory().createDirectory());
    ASSERT_TRUE (Korvalune::BackupArchive::create (stored, bundle).ok);

    plugFilled();
    menuChoice (2);
    fileChoice (bundle);
    view->showMainMenu();
    ASSERT_EQ (questions.size(), 1u);
    EXPECT_EQ (questions[0].title, "Restore Backup Bundle");
    EXPECT_EQ (questions[0].patterns, "*.bbu");
    EXPECT_FALSE (questions[0].save);
    EXPECT_EQ (questions[0].initialLocation, juce::File()) << "nothing remembered: where the desktop chooses";

    waitUntilSettled();
    EXPECT_EQ (unit->getGlobals().at (0x200), bitsOf (0.75f));
    EXPECT_EQ (unit->getGlobals().at (0x204), bitsOf (2.0f));
    for (int slot = 0; slot < 3; ++slot)
    {
        EXPECT_EQ (unit->getCabinet (slot).words, firstHalf (stored.cabinets[(std::size_t) slot]));
        EXPECT_EQ (unit->getCabinet (slot).name, "Stored " + std::to_string (slot));
        EXPECT_EQ (service.getUserCabinetName (slot), "Stored " + std::to_string (slot)) << "read back";
    }
    EXPECT_TRUE (alerts().empty());
    EXPECT_EQ (view->getLastDirectory(), bundle.getParentDirectory());
}

TEST_F (FileActions, ABundleThatIsNoBackupIsRefusedBeforeAnythingIsSent)
{
    plugFilled();

    juce::MemoryOutputStream zipBytes;
    juce::ZipFile::Builder builder;
    builder.addEntry (new juce::MemoryInputStream ("a photo", 7, true), 0, "holiday.jpg", juce::Time::getCurrentTime());
    ASSERT_TRUE (builder.writeToStream (zipBytes, nullptr));

    Archive wrongSlot;
    Korvalune::BackupArchive::appendCabinet (wrongSlot).slot = 3;
    ASSERT_TRUE (Korvalune::BackupArchive::create (wrongSlot, file ("slot3.bbu")).ok);

    const std::vector<std::pair<juce::File, const char*>> bundles {
        { writeFile ("text.bbu", "not a zip at all"), "Not a valid backup file" },
        { writeFile ("photos.bbu", std::string ((const char*) zipBytes.getData(), zipBytes.getDataSize())),
            "neither globals nor cabinets" },
        { file ("slot3.bbu"), "Backup holds a cabinet for slot 3" },
        { file ("gone.bbu"), "Not a valid backup file" },
    };

    for (auto& [bundle, reason] : bundles)
    {
        SCOPED_TRACE (bundle.getFileName());
        alertRecorder.alerts.clear();
        LogCapture::instance().clear();
        fileChoice (bundle);
        view->startRestore();
        expectOneAlert ("Failed to load backup", true);
        EXPECT_TRUE (LogCapture::instance().contains (reason));
    }
    expectNothingSent();
    EXPECT_EQ (service.getState(), Service::Idle);
}

TEST_F (FileActions, ARestoreTheServiceRefusesShowsItsOwnAlert)
{
    Archive stored;
    stored.globals = std::make_unique<Korvalune::KorvaluneData::ParamMap>();
    ASSERT_TRUE (Korvalune::BackupArchive::create (stored, file ("globals.bbu")).ok);
    fileChoice (file ("globals.bbu"));
    view->startRestore();
    expectOneAlert ("Failed to start restore", true);
}

//==============================================================================
TEST_F (FileActions, UpdateFirmwareSendsTheBuiltInImageWithoutADialog)
{
    vunit::UnitSettings settings;
    settings.dsp = { 1, 1, 0, 0 };
    settings.nextDsp = { 1, 2, 0, 0 };
    settings.returnDelay = std::chrono::milliseconds (50);
    plugFilled (settings, Service::FirmwareUpdateRequired);

    menuChoice (5);
    view->showMainMenu();
    EXPECT_TRUE (questions.empty());
    ASSERT_TRUE (GuiTest::runUntil ([&] { return service.getState() == Service::UpdateComplete; }, deadlineMs));
    EXPECT_EQ (unit->getFirmware(), reversed (BuiltInFirmware::getData(), BuiltInFirmware::getSize()));

    // The unit leaves and comes back as the application sees it; the view
    // then shows it idle with its new version.
    ASSERT_TRUE (unit->waitForPresence (false, vunit::Clock::now() + std::chrono::seconds (20)));
    unplug();
    ASSERT_TRUE (unit->waitForPresence (true, vunit::Clock::now() + std::chrono::seconds (20)));
    connect (Service::Idle);
    waitUntilSettled();
    EXPECT_FALSE (view->getOverlay().isVisible());
    EXPECT_EQ (label (cabinet0).getText(), "Unit 0") << "read again";
    EXPECT_TRUE (alerts().empty());
}

TEST_F (FileActions, UpdateFirmwareFromFileSendsTheFilesImage)
{
    plugFilled();
    const std::string image = "\x01\x02\x80 an image of a few bytes";
    const auto ldr = writeFile ("firmware/New.ldr", image);
    menuChoice (6);
    fileChoice (ldr);
    view->showMainMenu();

    ASSERT_EQ (questions.size(), 1u);
    EXPECT_EQ (questions[0].title, "Select Firmware");
    EXPECT_EQ (questions[0].patterns, "*.ldr");
    EXPECT_FALSE (questions[0].save);
    EXPECT_EQ (questions[0].initialLocation, home.getChildFile ("Documents/DSP Firmware.ldr"));

    ASSERT_TRUE (GuiTest::runUntil ([&] { return service.getState() == Service::UpdateComplete; }, deadlineMs));
    EXPECT_EQ (unit->getFirmware(), reversed (image.data(), image.size()));
    EXPECT_EQ (view->getInitialFile ("DSP Firmware.ldr"), ldr.getSiblingFile ("DSP Firmware.ldr"));
}

TEST_F (FileActions, AFirmwareFileThatIsNoImageIsRefusedBeforeAnythingIsSent)
{
    plugFilled();
    auto large = file ("large.ldr");
    {
        juce::FileOutputStream out (large);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (out.setPosition (MainComponent::maxFirmwareFileBytes));
        ASSERT_TRUE (out.writeByte (1));
    }

    for (auto& f : { writeFile ("empty.ldr", ""), large, file ("missing.ldr") })
    {
        SCOPED_TRACE (f.getFileName());
        alertRecorder.alerts.clear();
        LogCapture::instance().clear();
        fileChoice (f);
        view->updateFirmware (true);
        expectOneAlert ("Failed to load firmware", true);
    }
    expectNothingSent();
    EXPECT_EQ (service.getState(), Service::Idle);
}

TEST_F (FileActions, AFirmwareUpdateTheServiceRefusesShowsOnlyItsOwnAlert)
{
    view->updateFirmware (false);
    expectOneAlert ("Failed to start firmware update", true);
    EXPECT_TRUE (LogCapture::instance().contains ("Cannot start task while not connected")) << "logged, not shown";
}

//==============================================================================
TEST_F (FileActions, AFactoryCabinetGoesToTheChosenSlotUnderItsRowsName)
{
    plugFilled();
    menuChoice (8); // "8x10 SVT"
    view->showCabinetMenu (2);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return unit->getCabinet (2).name == "8x10 SVT"; }, deadlineMs));

    const auto& row = FactoryCabinetTable::getRows()[6];
    Service::UserCabinetData fromText;
    MemoryIn in (row.text, row.size);
    ASSERT_TRUE (Korvalune::readCabinetFile (in, fromText).ok);
    EXPECT_EQ (unit->getCabinet (2).words, firstHalf (fromText));
    EXPECT_EQ (unit->getCabinet (0).name, "Unit 0") << "the other slots keep theirs";
    waitUntilSettled();
    EXPECT_EQ (label (cabinet2).getText(), "8x10 SVT");
    EXPECT_TRUE (questions.empty());
}

TEST_F (FileActions, AnImpulseFileIsImportedUnderItsFileName)
{
    plugFilled();
    const auto values = AudioFiles::impulseValues (1500, 2, 16);
    AudioFiles::WavFormat format;
    format.channels = 2;
    const auto wav
        = writeFile ("impulses/My Cab.WAV", AudioFiles::wav (format, AudioFiles::integerSamples (values, 16, false)));
    const auto aiff = writeFile ("impulses/Other.aiff", AudioFiles::aiff (1, 16, 48000.0, { 16384, -8192 }));

    menuChoice (1);
    fileChoice (wav);
    view->showCabinetMenu (1);
    ASSERT_EQ (questions.size(), 1u);
    EXPECT_EQ (questions[0].title, "Import Cabinet");
    EXPECT_EQ (questions[0].patterns, "*.wav;*.cab");
    EXPECT_FALSE (questions[0].save);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return unit->getCabinet (1).name == "My Cab"; }, deadlineMs));

    // At 48 kHz the left channel's first 1024 samples go to the unit as they are.
    const auto words = unit->getCabinet (1).words;
    for (std::size_t i = 0; i < words.size(); ++i)
        ASSERT_EQ (words[i], bitsOf ((float) ((double) values[2 * i] / 32768.0))) << i;

    fileChoice (aiff);
    view->importCabinet (0);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return unit->getCabinet (0).name == "Other"; }, deadlineMs));
    EXPECT_EQ (unit->getCabinet (0).words[0], bitsOf (0.5f));
    EXPECT_EQ (unit->getCabinet (0).words[1], bitsOf (-0.25f));
    EXPECT_EQ (unit->getCabinet (0).words[2], 0u);
    EXPECT_TRUE (alerts().empty());
    EXPECT_EQ (view->getLastDirectory(), wav.getParentDirectory());
}

TEST_F (FileActions, ACabinetFileKeepsItsOwnName)
{
    plugFilled();
    Service::UserCabinetData stored;
    stored.samples[3] = bitsOf (0.125f);
    stored.name = "Name in the file";
    MemoryOut text;
    ASSERT_TRUE (Korvalune::writeCabinetFile (stored, text, 9).ok);
    fileChoice (writeFile ("Capital.CAB", text.text()));
    view->importCabinet (2);
    ASSERT_TRUE (GuiTest::runUntil ([&] { return unit->getCabinet (2).name == "Name in the file"; }, deadlineMs));
    EXPECT_EQ (unit->getCabinet (2).words, firstHalf (stored));
}

TEST_F (FileActions, AFileThatCannotBeImportedIsRefusedBeforeAnythingIsSent)
{
    plugFilled();
    MemoryOut globals;
    ASSERT_TRUE (Korvalune::writeGlobalsFile ({ { 0x200, 1 } }, globals).ok);

    const std::vector<std::tuple<juce::File, const char*, const char*>> files {
        { writeFile ("globals.cab", globals.text()), "Failed to load cabinet", "Too few segments in cabinet file" },
        { writeFile ("broken.cab", "# File Type: User Cabinet data, Index = 0\n"), "Failed to load cabinet",
            "Reached end of file" },
        { writeFile ("noise.wav", "RIFF....WAVEjunk"), "Failed to import cabinet", "Error loading impulse file" },
        { writeFile ("22k.wav", AudioFiles::wav ({ 1, 1, 22050, 16 }, std::string (100, '\1'))),
            "Failed to import cabinet", "Error loading impulse file" },
    };

    for (auto& [f, alert, reason] : files)
    {
        SCOPED_TRACE (f.getFileName());
        alertRecorder.alerts.clear();
        LogCapture::instance().clear();
        fileChoice (f);
        view->importCabinet (0);
        expectOneAlert (alert, false);
        EXPECT_TRUE (LogCapture::instance().contains (reason)) << "the reason only in the log";
    }
    expectNothingSent();
}

TEST_F (FileActions, ACabinetThatCannotBeSentSaysSoAndTheNamesAreReadAgain)
{
    plugFilled();
    auto settings = unit->getSettings();
    settings.wireTime = std::chrono::microseconds (500);
    unit->setSettings (settings);

    fileChoice (file ("slow.bbu"));
    view->startBackup();
    ASSERT_EQ (service.getState(), Service::BackingUp);
    menuChoice (2); // BYPASS
    view->showCabinetMenu (0);
    waitUntilSettled();

    EXPECT_EQ (unit->getCabinet (0).name, "Unit 0") << "not sent";
    EXPECT_EQ (alerts(), std::vector<juce::String> { "Failed to send cabinet" });
    EXPECT_EQ (label (cabinet0).getText(), "Unit 0");

    // The unit goes while the import's dialog is open.
    alertRecorder.alerts.clear();
    unit->clearFrames();
    MemoryOut text;
    ASSERT_TRUE (Korvalune::writeCabinetFile ({}, text, 0).ok);
    fileChoice (writeFile ("Late.cab", text.text()));
    onQuestion = [this] { unplug(); };
    view->importCabinet (1);
    expectOneAlert ("Failed to send cabinet", false);
    expectNothingSent();
}

//==============================================================================
TEST_F (FileActions, ABackupThatOutlivesTheViewWritesNothingAndReachesNoView)
{
    plugFilled();
    auto settings = unit->getSettings();
    settings.wireTime = std::chrono::microseconds (300);
    unit->setSettings (settings);

    const auto target = file ("late.bbu");
    fileChoice (target);
    view->startBackup();
    ASSERT_EQ (service.getState(), Service::BackingUp);

    // As at shut-down: the view goes first, while its backup still runs.
    view.reset();
    ASSERT_TRUE (GuiTest::runUntil ([&] { return service.getState() == Service::Idle; }, deadlineMs));
    settle();
    EXPECT_FALSE (target.exists());
    EXPECT_TRUE (alertRecorder.alerts.empty());
}
