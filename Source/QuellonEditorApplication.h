#pragma once

#include "DeviceConnection.h"
#include "Protocol/USBDeviceManager.h"
#include "QuellonEditorService.h"
#include "UpdateCheck.h"

#include <juce_data_structures/juce_data_structures.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>

class DeferredQuit;
class MainComponent;
class MessageLoopAid;
class QuitSignals;
class ZoomWindow;

// The program's application object. It builds, in a fixed order, everything
// that lives for the whole run (settings, image pack, device manager, editor
// service, main view and window), polls the USB bus once a second, serves the
// first supported unit that arrives until it goes or its link fails, checks
// once for a newer editor version, and tears everything down in order at
// shut-down.
//
// Owns: the window (and through it the main view), the aid of the message
// loop for that window, the device manager, the connection of the served unit, the
// settings, the service, what holds a quit back while a job writes the unit
// and the watch that turns the system's quit signals into quit requests.
// Threads: the framework calls every operation on the message thread; the
// update check runs on a thread of its own and reaches the application only
// through the UpdateCheck's shared state.
// Locks: none of its own (the update check's lock lives in UpdateCheck).
class QuellonEditorApplication : public juce::JUCEApplication,
                                 private juce::Timer,
                                 private Korvalune::USBDeviceManager::Handler,
                                 private juce::AsyncUpdater
{
public:
    static constexpr int pollIntervalMs = 1000;

    QuellonEditorApplication();
    ~QuellonEditorApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    // Also safe when initialise never ran (a refused second instance).
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    // The close button, the window manager's close, the system's own quit
    // request and, on Linux, SIGTERM, SIGINT and SIGHUP all end here: the
    // program quits, at once or, while a restore or a firmware image is being
    // written, as soon as that job has ended.
    void systemRequestedQuit() override;

    // The settings file's options: "Quellon Editor.settings" in the user's
    // configuration folder (SettingsFolder.h).
    static juce::PropertiesFile::Options settingsOptions();

    // The units the editor serves (the udev rule in packaging/linux grants
    // access to the same pairs).
    static const std::vector<Korvalune::USBDeviceManager::DeviceId>& supportedUnits();

    // Starts the update check against `server` (the built-in one by default).
    void startUpdateCheck (const juce::String& server = UpdateCheck::defaultServer());

private:
    void timerCallback() override;
    void deviceArrived (Korvalune::USBDeviceManager::HIDDevice* device) override;
    void deviceRemoved (Korvalune::USBDeviceManager::HIDDevice* device) override;
    void handleAsyncUpdate() override;

    void letGoOfDeadHandle();
    void releaseConnection();
    static void showNewVersionAlert();

    UpdateCheck updateCheck { *this };
    std::unique_ptr<ZoomWindow> window;
    // Watches the window; goes before it.
    std::unique_ptr<MessageLoopAid> messageLoopAid;
    std::unique_ptr<Korvalune::USBDeviceManager> deviceManager;
    std::unique_ptr<DeviceConnection> connection;
    std::unique_ptr<juce::PropertiesFile> properties;
    MainComponent* mainComponent = nullptr;
    std::unique_ptr<Quellon::QuellonEditorService> service;
    // Reads the service's state; goes before it.
    std::unique_ptr<DeferredQuit> deferredQuit;
    // From the first step of start-up to the last of shut-down: a signal
    // during either is carried out once the loop runs, or not at all.
    std::unique_ptr<QuitSignals> quitSignals;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuellonEditorApplication)
};
