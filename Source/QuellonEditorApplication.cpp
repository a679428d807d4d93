#include "QuellonEditorApplication.h"

#include "DeferredQuit.h"
#include "MainComponent.h"
#include "MessageLoopAid.h"
#include "Protocol/Log.h"
#include "QuitSignals.h"
#include "SettingsFolder.h"
#include "StatusTable.h"
#include "Widgets/ImagePack.h"
#include "Widgets/ProgramResource.h"
#include "Widgets/ZoomWindow.h"

#ifndef QUELLON_SUPPORT_PAGE
#define QUELLON_SUPPORT_PAGE "https://www.varnel.invalid/support/"
#endif

namespace
{
const char* const applicationName = "Quellon Editor";

// The unit's firmware must be at least this: no system requirement, DSP 1.2.0.0.
Korvalune::KorvaluneData::DeviceVersionInfo requiredVersions()
{
    Korvalune::KorvaluneData::DeviceVersionInfo versions;
    versions.system = Korvalune::KorvaluneData::InvalidVersion;
    versions.dsp = { 1, 2, 0, 0 };
    return versions;
}
} // namespace

QuellonEditorApplication::QuellonEditorApplication() = default;

QuellonEditorApplication::~QuellonEditorApplication()
{
    // After shutdown nothing is left; this covers a run that ended without it.
    quitSignals.reset();
    updateCheck.close();
    deferredQuit.reset();
    messageLoopAid.reset();
    window.reset();
    releaseConnection();
    service.reset();
    deviceManager.reset();
    properties.reset();
}

const juce::String QuellonEditorApplication::getApplicationName()
{
    return applicationName;
}

const juce::String QuellonEditorApplication::getApplicationVersion()
{
    return editorVersion;
}

bool QuellonEditorApplication::moreThanOneInstanceAllowed()
{
    return false;
}

const std::vector<Korvalune::USBDeviceManager::DeviceId>& QuellonEditorApplication::supportedUnits()
{
    static const std::vector<Korvalune::USBDeviceManager::DeviceId> units { { 0x04D8, 0x003F }, { 0x04D8, 0x003C } };
    return units;
}

juce::PropertiesFile::Options QuellonEditorApplication::settingsOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = applicationName;
    options.filenameSuffix = "settings";
    options.folderName = settingsFolderName();
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    return options;
}

void QuellonEditorApplication::initialise (const juce::String&)
{
    quitSignals = watchQuitSignals ([this] { systemRequestedQuit(); });
    properties = std::make_unique<juce::PropertiesFile> (settingsOptions());
    (void) prepareSettingsFolder (properties->getFile());

    const auto block = lockProgramResource (imagePackResourceId);

    if (!ImagePack::create (makeMemoryPackReader (block.data, block.size), (std::uint32_t) block.size))
        Korvalune::logMessage (Korvalune::LogWarning, "The skin's image pack could not be read");

    deviceManager = std::make_unique<Korvalune::USBDeviceManager> (static_cast<Handler*> (this), supportedUnits());

    const auto required = requiredVersions();
    service = std::make_unique<Quellon::QuellonEditorService> (&required);

    mainComponent = new MainComponent (properties.get(), service.get());
    window = std::make_unique<ZoomWindow> (applicationName, properties.get(), mainComponent, juce::Colour (0xff000000),
        MainComponent::designWidth, MainComponent::designHeight, MainComponent::designWidth / 2,
        MainComponent::designHeight / 2);

    deferredQuit = std::make_unique<DeferredQuit> ([s = service.get()] { return s->getState(); }, [] { quit(); },
        [view = mainComponent] { view->showClosingAfterJob(); });

    mainComponent->onMaximise = [w = window.get()] { w->toggleMaximised(); };
    mainComponent->onMinimise = [w = window.get()] { w->minimise(); };
    // The system's close (alt+F4, the taskbar) quits as the close button does.
    window->onCloseRequest = [this] { systemRequestedQuit(); };

    window->setVisible (true);
    messageLoopAid = startMessageLoopAid (*window);
    startTimer (pollIntervalMs);
    startUpdateCheck();
}

void QuellonEditorApplication::shutdown()
{
    // The check may still be running; from here on its result is dropped.
    updateCheck.close();
    stopTimer();

    deferredQuit.reset();
    messageLoopAid.reset();
    window.reset();
    mainComponent = nullptr;

    releaseConnection();
    service.reset();
    deviceManager.reset();

    if (properties != nullptr && ! properties->saveIfNeeded())
        (void) KORVALUNE_ERROR ("The settings could not be saved to %s",
            properties->getFile().getFullPathName().toRawUTF8());

    properties.reset();
    ImagePack::clearCache();
    quitSignals.reset();
}

void QuellonEditorApplication::anotherInstanceStarted (const juce::String&) { }

void QuellonEditorApplication::systemRequestedQuit()
{
    if (deferredQuit != nullptr)
        deferredQuit->request();
    else
        quit();
}

//==============================================================================
void QuellonEditorApplication::timerCallback()
{
    // First, so that a unit whose handle died is opened afresh by this same scan.
    letGoOfDeadHandle();
    deviceManager->scan();
}

void QuellonEditorApplication::letGoOfDeadHandle()
{
    // A unit plugged out and in again between two polls keeps its path but
    // not its handle, so no scan sees it leave: once the handle has failed it
    // is let go as if it had been removed (its error stays shown until then)
    // and opened afresh if it is still there. A unit that only refused or
    // garbled a reply keeps its handle, and its error stays on screen until
    // it is really plugged in again or a firmware update starts: opening it
    // again would hide the error and start the same failing refresh anew.
    if (connection == nullptr || ! connection->packetIO->hasDeadHandle())
        return;

    Korvalune::logMessage (Korvalune::LogInfo, "The unit's handle has failed: letting it go");
    const auto* device = connection->device;
    releaseConnection();
    deviceManager->dropDevice (device);
}

void QuellonEditorApplication::deviceArrived (Korvalune::USBDeviceManager::HIDDevice* device)
{
    // One unit at a time; another one stays unserved until it is plugged in again.
    if (connection != nullptr)
        return;

    // The connection starts the unit's read thread.
    startThreadsWithoutQuitSignals ([&] { connection = std::make_unique<DeviceConnection> (device); });
    (void) service->connect (connection->protocol.get());
}

void QuellonEditorApplication::deviceRemoved (Korvalune::USBDeviceManager::HIDDevice* device)
{
    if (connection != nullptr && connection->device == device)
        releaseConnection();

    device->close();
}

void QuellonEditorApplication::releaseConnection()
{
    if (connection == nullptr)
        return;

    // No task is inside the protocol once disconnect returns, so it may go.
    service->disconnect();
    connection.reset();
}

//==============================================================================
void QuellonEditorApplication::startUpdateCheck (const juce::String& server)
{
    updateCheck.start (server);
}

void QuellonEditorApplication::handleAsyncUpdate()
{
    if (updateCheck.takeNewVersionAvailable())
        showNewVersionAlert();
}

void QuellonEditorApplication::showNewVersionAlert()
{
    juce::AlertWindow alert ("Update",
        "A new version of Quellon Editor is available.\n"
        "Please visit the Varnel website for more information:",
        juce::MessageBoxIconType::NoIcon, nullptr);

    const juce::String address (QUELLON_SUPPORT_PAGE);
    juce::HyperlinkButton link (address, juce::URL (address));
    link.setBounds (0, 0, 400, 28);
    link.setName ({});

    alert.addCustomComponent (&link);
    alert.addButton ("OK", 1, juce::KeyPress (juce::KeyPress::returnKey));
    alert.runModalLoop();
}
