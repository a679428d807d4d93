#pragma once

#include "CallbackGate.h"
#include "FactoryCabinetTable.h"
#include "FileDialog.h"
#include "QuellonEditorService.h"
#include "RememberedFolder.h"
#include "ValueMapping.h"

#include <cstdint>
#include <functional>
#include <juce_data_structures/juce_data_structures.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class FilmStripKnob;
class OverlayComponent;
class PaintAdapter;
class SimpleEditLabel;
class SimpleImageButton;
class SimpleLabel;
class SimpleTextButton;
class StaticImage;
class iStatusDisplay;

// The editor's one screen: a fixed design of 640 x 426 pixels drawn from the
// skin, with a control for each of the unit's nine parameters, a label per
// user cabinet, the signal routing drawn over the background, the MENU
// button, the version footer, the window buttons, a drag strip and the status
// overlay. It is the editor service's listener: the service's callbacks only
// record what changed and trigger an update, and the screen catches up in one
// pass on the message thread.
//
// Owns: every child widget, the bindings from parameters to the controls that
// show them, and what waits for the next update pass. Not owned: the settings
// and the service, which outlive it.
// Threads: the message thread builds, paints, handles gestures, runs the
// update pass and destroys it. The service's worker and the unit's read
// thread call the listener callbacks, the progress callback and the backup's
// completion; any thread may call showError and postToMessageThread.
// Locks: `pendingMutex` guards what waits for the update pass and is held
// only to store or take it, never while calling out. Order: the service's
// listener lock, then `pendingMutex`; the callback gate's lock (held while a
// task's callback runs), then `pendingMutex`. The destructor takes the
// service's listener lock and then the gate's, never `pendingMutex` with
// either.
class MainComponent : public juce::Component, private juce::AsyncUpdater, public Quellon::QuellonEditorService::Listener
{
public:
    using Service = Quellon::QuellonEditorService;
    using Updater = std::function<void (const ParameterValue&)>;
    using Bindings = std::multimap<QuellonParamID, Updater>;

    enum PendingChange : std::uint32_t
    {
        PendingStatus = 0x01,
        PendingRouting = 0x04,
        PendingAllControls = 0x10,
        PendingFooter = 0x20
    };

    static constexpr int designWidth = 640;
    static constexpr int designHeight = 426;

    // The positions of the blocks of the signal chain on the background,
    // indexed by the value of parameter 0x204 or 0x206.
    static const juce::Point<int> routingPoints[7];

    // Builds the whole view and registers it with the service.
    MainComponent (juce::PropertiesFile* settings, Service* service);
    // Withdraws from the service before anything is torn down.
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    // Set by the application to maximise and minimise the main window.
    std::function<void()> onMaximise;
    std::function<void()> onMinimise;

    //==============================================================================
    // The one road from a control to the unit: false, with an alert, when the
    // service refuses the value.
    bool setParameterFromControl (QuellonParamID id, const ParameterValue& value);
    // The current value (the default while the unit has reported none); a
    // failed read gives an integer 0.
    ParameterValue getParameterValue (QuellonParamID id);
    bool getParameterInfo (QuellonParamID id, ParameterInfo& info);

    //==============================================================================
    // What the service and its tasks report; each records the change and
    // triggers an update pass. Any thread.
    void onRefreshAll();
    void onStateChanged (Service::State state);
    void onParameterChanged (QuellonParamID id, const ParameterValue& value);
    void onProgress (double fraction);

    // A quit waits for the running job: the overlay says so until the end.
    void showClosingAfterJob();

    // Runs `callback` on the message thread during the next update pass.
    void postToMessageThread (std::function<void()> callback);
    // Shows an alert titled "Error" with the formatted text (at most 511
    // characters), later, on the message thread. Any thread; never waits.
    void showError (const char* format, ...) __attribute__ ((format (printf, 2, 3)));

    // Wraps a callback for a task so that it never runs once the view is
    // being destroyed; a call that comes later is dropped.
    template <typename... Args> std::function<void (Args...)> guardCallback (std::function<void (Args...)> callback)
    {
        return [gate = callbackGate, callback = std::move (callback)] (Args... args)
        { gate->run ([&] { callback (args...); }); };
    }

    // The progress callback handed to the backup, restore and firmware update.
    std::function<void (double)> makeProgressCallback();

    //==============================================================================
    // The main menu (backup, restore, firmware update) and the cabinet menus
    // (import from a file, factory cabinets), and the actions behind them.
    // Each runs modally on the message thread from the click to its service
    // call; what fails before that call shows an alert and sends nothing.
    void showMainMenu();
    void showCabinetMenu (int slot);
    void updateFirmware (bool fromFile);
    void startBackup();
    void startRestore();
    void importCabinet (int slot);

    // The backup's completion: writes the bundle to the chosen file. Runs on
    // the task-queue worker (through the callback gate), touches no widget.
    void saveBackupArchive (const Service::QuellonArchive& archive, const juce::File& target);

    // A factory cabinet, named after its row.
    static Service::UserCabinetData loadFactoryCabinet (const FactoryCabinetTable::Row& row);

    // The folder the file dialogs open in ("lastDirectory" in the settings).
    juce::File getLastDirectory() const;
    juce::File getInitialFile (const juce::String& defaultName) const;
    void rememberLastDirectory (const juce::File& chosen);

    // A firmware file is refused above this size before anything is read: the
    // built-in image is 55,636 bytes, and a file of this size would already
    // take over two minutes to send.
    static constexpr juce::int64 maxFirmwareFileBytes = 4 * 1024 * 1024;
    // A cabinet file is 25,657 bytes; one far larger is not read at all.
    static constexpr juce::int64 maxCabinetFileBytes = 1024 * 1024;

    // How the view asks the user, modally: a popup menu at the mouse, which
    // gives the chosen item's id or 0 when dismissed, and a file dialog, which
    // gives the chosen file or an empty one when cancelled. They show JUCE's
    // menu and the desktop's file dialog (FileDialog); tests answer in their
    // place.
    using FileQuestion = FileDialog::Question;

    std::function<int (juce::PopupMenu&)> askMenu;
    std::function<juce::File (const FileQuestion&)> askFile;

    //==============================================================================
    // The widgets, for whoever needs to find them (tests, the menus).
    const juce::OwnedArray<juce::Component>& getControlChildren() const noexcept { return controlChildren; }
    const juce::OwnedArray<juce::Component>& getChromeChildren() const noexcept { return chromeChildren; }
    OverlayComponent& getOverlay() const noexcept { return *overlay; }
    SimpleLabel& getFooter() const noexcept { return *footer; }
    SimpleTextButton& getMenuButton() const noexcept { return *menuButton; }
    PaintAdapter& getRoutingLayer() const noexcept { return *routingLayer; }

private:
    //==============================================================================
    void addChild (juce::Component* child, juce::Rectangle<int> bounds);
    void addControlChild (juce::Component* child, juce::Rectangle<int> bounds);

    StaticImage* addBackgroundImage (juce::Rectangle<int> bounds);
    PaintAdapter* addPaintLayer (juce::Rectangle<int> bounds, std::function<void (juce::Graphics&)> painter);
    SimpleLabel* addFooterLabel (juce::Rectangle<int> bounds);
    SimpleTextButton* addMenuButton (juce::Rectangle<int> bounds, std::function<void()> click);
    SimpleImageButton* addWindowButton (
        juce::Rectangle<int> bounds, int normalImage, int pressedImage, std::function<void()> click);
    SimpleImageButton* addCabinetLabel (int slot, juce::Rectangle<int> bounds);
    void updateCabinetLabel (int slot, SimpleImageButton* label);

    // The controls of the parameters.
    void addKnob (juce::Rectangle<int> bounds, QuellonParamID id);
    void addValueEditLabel (juce::Rectangle<int> bounds);
    SimpleImageButton* addTextLabel (juce::Rectangle<int> bounds);
    void addChoiceLabel (juce::Rectangle<int> bounds, QuellonParamID id);
    void showChoiceMenu (const ParameterInfo& info, QuellonParamID id);
    static void updateChoiceLabel (const ParameterInfo& info, SimpleImageButton* label, const ParameterValue& value);

    void bindParameter (Bindings& bindings, QuellonParamID id, const Updater& updater);
    static void updateControlsForParameter (const Bindings& bindings, QuellonParamID id, const ParameterValue& value);

    void paintRouting (juce::Graphics& g);
    void onRoutingParameterChanged (const ParameterValue& value);

    void handleAsyncUpdate() override;
    void applyPendingUpdates (
        SimpleTextButton* menu, iStatusDisplay* status, SimpleLabel* footerLabel, PaintAdapter* routing);
    void applyStatus (std::uint32_t state, double progress, SimpleTextButton* menu, iStatusDisplay* status);
    static void showErrorAlert (const juce::String& message);

    void recordChange (std::uint32_t changes);

    // Asks for a file and remembers its folder; an empty File when cancelled.
    juce::File chooseFile (const FileQuestion& question);
    static bool readFirmware (juce::InputStream* stream, std::vector<std::uint8_t>& image);
    static bool isRestorable (const Service::QuellonArchive& archive);
    static bool readCabinet (const juce::File& file, Service::UserCabinetData& cabinet);
    // Hands a chosen cabinet to the service; says so when it is not sent.
    void sendCabinet (int slot, const Service::UserCabinetData& cabinet);

    //==============================================================================
    std::mutex pendingMutex;
    std::uint32_t pendingChanges = 0;
    juce::PropertiesFile* settings;
    Service* service;
    RememberedFolder rememberedFolder { settings };
    std::shared_ptr<CallbackGate> callbackGate = std::make_shared<CallbackGate>();
    std::vector<std::function<void()>> postedCallbacks;
    std::vector<std::function<void()>> refreshCallbacks;
    juce::OwnedArray<juce::Component> chromeChildren;
    juce::OwnedArray<juce::Component> controlChildren;
    std::map<QuellonParamID, ParameterValue> changedParameters;
    double taskProgress = 0.0;
    bool closingAfterJob = false; // message thread only
    std::function<void()> pendingUpdateHandler;
    Bindings viewBindings;
    Bindings controlBindings;

    OverlayComponent* overlay = nullptr;
    SimpleLabel* footer = nullptr;
    SimpleTextButton* menuButton = nullptr;
    PaintAdapter* routingLayer = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
