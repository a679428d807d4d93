#include "MainComponent.h"

#include "Application/BackupArchive.h"
#include "Application/InStreamWrapper.h"
#include "BuiltInFirmware.h"
#include "Protocol/KorvaluneDataFile.h"
#include "Protocol/UserCabinetImporter.h"
#include "StatusTable.h"
#include "Widgets/DragBar.h"
#include "Widgets/FilmStripKnob.h"
#include "Widgets/ImagePack.h"
#include "Widgets/OverlayComponent.h"
#include "Widgets/PaintAdapter.h"
#include "Widgets/SimpleEditLabel.h"
#include "Widgets/SimpleImageButton.h"
#include "Widgets/SimpleLabel.h"
#include "Widgets/SimpleTextButton.h"
#include "Widgets/StaticImage.h"

#include <cstdarg>
#include <cstdio>

namespace
{
const juce::Colour labelTextColour { 0xffeeeeee };
const juce::Colour footerTextColour { 0xffcccccc };
const juce::Colour menuTextColour { 0xffaaaaaa };
const juce::Colour menuPressedTextColour { 0xffffffff };
const juce::Colour routingColour { 0xffffffff };

constexpr float labelFontHeight = 14.0f;
constexpr float footerFontHeight = 10.0f;
constexpr float menuFontHeight = 28.0f;

constexpr int routingBelowY = 162; // the line of parameter 0x204 runs below the chain
constexpr int routingAboveY = 80; // that of 0x206 above it
constexpr int routingEndX = 570;

constexpr int knobFrames = 99;

QuellonParamID param (std::uint32_t id)
{
    return (QuellonParamID) id;
}

// Both text colours light grey, the font plain at 14, the text centred.
void giveLabelLook (SimpleImageButton& label)
{
    label.normalTextColour = label.pressedTextColour = labelTextColour;
    label.repaint();
    label.setFont (juce::Font (labelFontHeight, juce::Font::plain));
}

// The items of the main menu; there are no items 3 and 4.
enum MainMenuItem
{
    backupItem = 1,
    restoreItem = 2,
    updateFirmwareItem = 5,
    updateFirmwareFromFileItem = 6
};

// The cabinet menu: "From File...", then the factory cabinets in their order.
constexpr int fromFileItem = 1;
constexpr int firstFactoryItem = 2;

int showMenuAtMouse (juce::PopupMenu& menu)
{
    return menu.show();
}

} // namespace

const juce::Point<int> MainComponent::routingPoints[7] = {
    { 56, 122 },
    { 156, 122 },
    { 245, 122 },
    { 336, 121 },
    { 371, 121 },
    { 458, 121 },
    { 557, 122 },
};

MainComponent::MainComponent (juce::PropertiesFile* settingsFile, Service* editorService)
    : askMenu (showMenuAtMouse)
    , askFile (FileDialog::ask)
    , settings (settingsFile)
    , service (editorService)
{
    auto* status = new OverlayComponent();
    status->headlineHeight = 26.0f;
    status->detailHeight = 20.0f;
    status->repaint();
    overlay = status;

    addBackgroundImage ({ 0, 0, designWidth, designHeight });
    routingLayer
        = addPaintLayer ({ 0, 0, designWidth, designHeight }, [this] (juce::Graphics& g) { paintRouting (g); });
    auto* dragBar = new DragBar();
    addChild (dragBar, { 0, 0, designWidth, 66 });
    footer = addFooterLabel ({ 20, 404, 597, 16 });
    footer->normalTextColour = footer->pressedTextColour = footerTextColour;
    footer->repaint();
    footer->setFont (juce::Font (footerFontHeight, juce::Font::plain));
    menuButton = addMenuButton ({ 14, 14, 60, 20 }, {});

    addChoiceLabel ({ 137, 375, 144, 28 }, param (0x201));
    addChoiceLabel ({ 137, 331, 144, 28 }, param (0x202));
    addChoiceLabel ({ 137, 288, 144, 28 }, param (0x203));
    addCabinetLabel (0, { 299, 375, 315, 28 });
    addCabinetLabel (1, { 299, 331, 315, 28 });
    addCabinetLabel (2, { 299, 288, 315, 28 });
    addKnob ({ 133, 172, 73, 78 }, param (0x200));
    addKnob ({ 36, 172, 73, 78 }, param (0x207));
    addValueEditLabel ({ 352, 221, 66, 29 });
    addChoiceLabel ({ 297, 181, 121, 29 }, param (0x208));
    addChoiceLabel ({ 493, 221, 121, 29 }, param (0x204));
    addChoiceLabel ({ 493, 181, 121, 29 }, param (0x206));

    menuButton->onClick = [this] { showMainMenu(); };

    auto* maximise = addWindowButton ({ 522, 14, 32, 32 }, ImagePack::maximizeOff, ImagePack::maximizeOn,
        [this]
        {
            if (onMaximise)
                onMaximise();
        });
    auto* minimise = addWindowButton ({ 558, 14, 32, 32 }, ImagePack::minimizeOff, ImagePack::minimizeOn,
        [this]
        {
            if (onMinimise)
                onMinimise();
        });
    auto* close = addWindowButton ({ 594, 14, 32, 32 }, ImagePack::closeOff, ImagePack::closeOn,
        []
        {
            if (auto* app = juce::JUCEApplication::getInstance())
                app->systemRequestedQuit();
        });

    bindParameter (viewBindings, param (0x204), [this] (const ParameterValue& v) { onRoutingParameterChanged (v); });
    bindParameter (viewBindings, param (0x206), [this] (const ParameterValue& v) { onRoutingParameterChanged (v); });

    addChild (overlay, { 0, 0, designWidth, designHeight });

    // The overlay covers the controls; the window's own handles stay above it.
    for (auto* child :
        std::initializer_list<juce::Component*> { overlay, dragBar, close, minimise, maximise, menuButton, footer })
        child->toFront (false);

    pendingUpdateHandler
        = [this, menu = menuButton, status = static_cast<iStatusDisplay*> (overlay), footerLabel = footer,
              routing = routingLayer] { applyPendingUpdates (menu, status, footerLabel, routing); };

    Listener::onRefreshAll = [this] { onRefreshAll(); };
    Listener::onStateChanged = [this] (Service::State state) { onStateChanged (state); };
    Listener::onParameterChanged
        = [this] (QuellonParamID id, const ParameterValue& value) { onParameterChanged (id, value); };

    setSize (designWidth, designHeight);
    onRefreshAll();
    service->addListener (this);
}

MainComponent::~MainComponent()
{
    // Once these return, neither the service nor a task's callback reaches the view.
    service->removeListener (this);
    callbackGate->close();
}

void MainComponent::paint (juce::Graphics&) { }

void MainComponent::resized() { }

//==============================================================================
void MainComponent::addChild (juce::Component* child, juce::Rectangle<int> bounds)
{
    child->setBounds (bounds);
    chromeChildren.add (child);
    child->setVisible (true);
    addChildComponent (child);
}

void MainComponent::addControlChild (juce::Component* child, juce::Rectangle<int> bounds)
{
    child->setBounds (bounds);
    controlChildren.add (child);
    child->setVisible (true);
    addChildComponent (child);
}

StaticImage* MainComponent::addBackgroundImage (juce::Rectangle<int> bounds)
{
    auto* image = new StaticImage (ImagePack::getImage (ImagePack::background));
    addChild (image, bounds);
    return image;
}

PaintAdapter* MainComponent::addPaintLayer (juce::Rectangle<int> bounds, std::function<void (juce::Graphics&)> painter)
{
    auto* layer = new PaintAdapter (std::move (painter));
    addChild (layer, bounds);
    return layer;
}

SimpleLabel* MainComponent::addFooterLabel (juce::Rectangle<int> bounds)
{
    auto* label = new SimpleLabel();
    giveLabelLook (*label);
    addChild (label, bounds);
    return label;
}

SimpleTextButton* MainComponent::addMenuButton (juce::Rectangle<int> bounds, std::function<void()> click)
{
    auto* button = new SimpleTextButton();
    button->setText ("MENU");
    button->onClick = std::move (click);
    button->normalTextColour = menuTextColour;
    button->pressedTextColour = menuPressedTextColour;
    button->repaint();
    button->setFont (juce::Font (menuFontHeight, juce::Font::plain));
    addChild (button, bounds);
    return button;
}

SimpleImageButton* MainComponent::addWindowButton (
    juce::Rectangle<int> bounds, int normalImage, int pressedImage, std::function<void()> click)
{
    auto* button = new SimpleImageButton (
        ImagePack::getImage ((std::uint32_t) normalImage), ImagePack::getImage ((std::uint32_t) pressedImage));
    button->onClick = std::move (click);
    addChild (button, bounds);
    return button;
}

SimpleImageButton* MainComponent::addCabinetLabel (int slot, juce::Rectangle<int> bounds)
{
    auto* label = addTextLabel (bounds);
    label->onClick = [this, slot] { showCabinetMenu (slot); };
    refreshCallbacks.push_back ([this, slot, label] { updateCabinetLabel (slot, label); });
    return label;
}

void MainComponent::updateCabinetLabel (int slot, SimpleImageButton* label)
{
    label->setText (juce::String::fromUTF8 (service->getUserCabinetName (slot).c_str()));
}

//==============================================================================
bool MainComponent::setParameterFromControl (QuellonParamID id, const ParameterValue& value)
{
    if (service->setParameterValue (id, value).ok)
        return true;

    showError ("Failed to set parameter");
    (void) KORVALUNE_ERROR ("Failed to set parameter");
    return false;
}

ParameterValue MainComponent::getParameterValue (QuellonParamID id)
{
    ParameterValue value { 0, 0.0 };
    (void) service->getParameterValue (id, value);
    return value;
}

bool MainComponent::getParameterInfo (QuellonParamID id, ParameterInfo& info)
{
    return service->getParameterInfo (id, info).ok;
}

void MainComponent::bindParameter (Bindings& bindings, QuellonParamID id, const Updater& updater)
{
    bindings.emplace (id, updater);
    updater (getParameterValue (id));
}

void MainComponent::updateControlsForParameter (
    const Bindings& bindings, QuellonParamID id, const ParameterValue& value)
{
    const auto [first, last] = bindings.equal_range (id);

    for (auto it = first; it != last; ++it)
        it->second (value);
}

//==============================================================================
void MainComponent::addKnob (juce::Rectangle<int> bounds, QuellonParamID id)
{
    ParameterInfo info;
    getParameterInfo (id, info);

    auto* knob = new FilmStripKnob();
    knob->setFilmStrip (ImagePack::getImage (ImagePack::fxDialFilm), 1, knobFrames, -1);
    addControlChild (knob, bounds);

    knob->onValueChange = [this, id, info] (double p) { setParameterFromControl (id, valueFromProportion (info, p)); };
    knob->onDoubleClick = [this, id, info] { setParameterFromControl (id, info.defaultValue); };

    bindParameter (controlBindings, id,
        [knob, info] (const ParameterValue& v) { knob->updateFrame (proportionFromValue (info, v)); });
}

void MainComponent::addValueEditLabel (juce::Rectangle<int> bounds)
{
    const auto id = param (0x205);
    ParameterInfo info;
    getParameterInfo (id, info);

    auto* label = new SimpleEditLabel();
    label->setJustificationType (juce::Justification::centred);
    label->setTextColour (labelTextColour);
    label->setFont (juce::Font (labelFontHeight, juce::Font::plain));
    addControlChild (label, bounds);

    label->onDragStart = [this, id, info] { return proportionFromValue (info, getParameterValue (id)); };
    label->onDragChange = [this, id, info] (double p) { setParameterFromControl (id, valueFromProportion (info, p)); };
    // Text that holds no number is refused quietly: the label puts its value back.
    label->onTextEntered = [this, id, info] (const juce::String& text)
    {
        ParameterValue value;
        return valueFromText (info, text, value) && setParameterFromControl (id, value);
    };

    bindParameter (controlBindings, id,
        [label, info] (const ParameterValue& v) { label->setText (formatParameterValue (info, v)); });
}

SimpleImageButton* MainComponent::addTextLabel (juce::Rectangle<int> bounds)
{
    auto* label = new SimpleImageButton();
    giveLabelLook (*label);
    addControlChild (label, bounds);
    return label;
}

void MainComponent::addChoiceLabel (juce::Rectangle<int> bounds, QuellonParamID id)
{
    ParameterInfo info;
    getParameterInfo (id, info);

    auto* label = addTextLabel (bounds);
    label->onClick = [this, info, id] { showChoiceMenu (info, id); };

    bindParameter (
        controlBindings, id, [label, info] (const ParameterValue& v) { updateChoiceLabel (info, label, v); });
}

void MainComponent::showChoiceMenu (const ParameterInfo& info, QuellonParamID id)
{
    juce::PopupMenu menu;

    for (std::size_t i = 0; i < info.choices.size(); ++i)
        menu.addItem ((int) i + 1, juce::String::fromUTF8 (info.choices[i].text.c_str()), true, false);

    const int chosen = menu.show();

    if (chosen > 0 && (std::size_t) chosen <= info.choices.size())
        setParameterFromControl (id, info.choices[(std::size_t) chosen - 1].value);
}

void MainComponent::updateChoiceLabel (const ParameterInfo& info, SimpleImageButton* label, const ParameterValue& value)
{
    juce::String text;
    std::int32_t target;

    if (truncateToInt32 (value.value, target))
    {
        for (const auto& choice : info.choices)
        {
            std::int32_t choiceValue;

            if (truncateToInt32 (choice.value.value, choiceValue) && choiceValue == target)
            {
                text = juce::String::fromUTF8 (choice.text.c_str());
                break;
            }
        }
    }

    label->setText (text);
}

//==============================================================================
void MainComponent::paintRouting (juce::Graphics& g)
{
    juce::Path path;

    // A value the unit reports outside the chain draws no line.
    const auto addLine = [&path] (const ParameterValue& value, int lineY)
    {
        std::int32_t index;

        if (!truncateToInt32 (value.value, index) || index < 0 || index >= (std::int32_t) std::size (routingPoints))
            return;

        const auto start = routingPoints[index].toFloat();
        path.startNewSubPath (start);
        path.lineTo (start.x, (float) lineY);
        path.lineTo ((float) routingEndX, (float) lineY);
    };

    addLine (getParameterValue (param (0x204)), routingBelowY);
    addLine (getParameterValue (param (0x206)), routingAboveY);

    g.setColour (routingColour);
    g.strokePath (path, juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

void MainComponent::onRoutingParameterChanged (const ParameterValue&)
{
    recordChange (PendingRouting);
}

//==============================================================================
void MainComponent::recordChange (std::uint32_t changes)
{
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        pendingChanges |= changes;
    }

    triggerAsyncUpdate();
}

void MainComponent::onRefreshAll()
{
    recordChange (0xFFFFFFFF);
}

void MainComponent::onStateChanged (Service::State)
{
    recordChange (PendingStatus | PendingFooter);
}

void MainComponent::onParameterChanged (QuellonParamID id, const ParameterValue& value)
{
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        changedParameters[id] = value;
    }

    triggerAsyncUpdate();
}

void MainComponent::onProgress (double fraction)
{
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        taskProgress = fraction;
        pendingChanges |= PendingStatus;
    }

    triggerAsyncUpdate();
}

void MainComponent::showClosingAfterJob()
{
    closingAfterJob = true;
    recordChange (PendingStatus);
}

std::function<void (double)> MainComponent::makeProgressCallback()
{
    return guardCallback (std::function<void (double)> ([this] (double fraction) { onProgress (fraction); }));
}

void MainComponent::postToMessageThread (std::function<void()> callback)
{
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        postedCallbacks.push_back (std::move (callback));
    }

    triggerAsyncUpdate();
}

void MainComponent::showError (const char* format, ...)
{
    char text[512] = {};

    if (format != nullptr)
    {
        va_list args;
        va_start (args, format);
        std::vsnprintf (text, sizeof (text), format, args);
        va_end (args);
    }

    postToMessageThread ([message = juce::String::fromUTF8 (text)] { showErrorAlert (message); });
}

void MainComponent::showErrorAlert (const juce::String& message)
{
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, "Error", message, "OK");
}

void MainComponent::handleAsyncUpdate()
{
    if (pendingUpdateHandler)
        pendingUpdateHandler();

    std::vector<std::function<void()>> callbacks;
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        callbacks.swap (postedCallbacks);
    }

    for (auto& callback : callbacks)
        callback();
}

void MainComponent::applyPendingUpdates (
    SimpleTextButton* menu, iStatusDisplay* status, SimpleLabel* footerLabel, PaintAdapter* routing)
{
    std::uint32_t changes;
    std::map<QuellonParamID, ParameterValue> changed;
    double progress;
    {
        std::lock_guard<std::mutex> lock (pendingMutex);
        changes = std::exchange (pendingChanges, 0u);
        changed.swap (changedParameters);
        progress = taskProgress;
    }

    if ((changes & PendingStatus) != 0)
        applyStatus (service->getState(), progress, menu, status);

    if ((changes & PendingFooter) != 0)
    {
        Korvalune::KorvaluneData::DeviceVersionInfo versions;
        const bool attached = service->getDeviceVersion (versions);
        footerLabel->setText (footerText (attached, versions));
    }

    if ((changes & PendingRouting) != 0)
        routing->repaint();

    if ((changes & PendingAllControls) != 0)
    {
        for (const auto* bindings : { &viewBindings, &controlBindings })
            for (const auto& [id, updater] : *bindings)
                updater (getParameterValue (id));

        for (auto& refresh : refreshCallbacks)
            refresh();
    }
    else
    {
        for (const auto& [id, value] : changed)
        {
            updateControlsForParameter (viewBindings, id, value);
            updateControlsForParameter (controlBindings, id, value);
        }
    }
}

void MainComponent::applyStatus (std::uint32_t state, double progress, SimpleTextButton* menu, iStatusDisplay* status)
{
    const auto look = statusLookFor ((int) state);
    auto text = statusTextFor (
        (int) state, state == Service::Error ? service->getLastError() : std::string(), BuiltInFirmware::getSize() > 0);

    if (const auto notice = closingNoticeFor ((int) state); closingAfterJob && notice.isNotEmpty())
        text << "\n" << notice;

    menu->normalTextColour = look.menuHighlighted ? menuPressedTextColour : menuTextColour;
    menu->pressedTextColour = menuPressedTextColour;
    menu->repaint();

    status->setOverlayVisible (text.isNotEmpty());
    status->setStatusText (text, state == Service::Error);
    status->setSpinnerVisible (look.spinner);
    status->setProgress (look.progressBar ? progress : -1.0);
}

//==============================================================================
void MainComponent::showMainMenu()
{
    // The state when the menu opens; should it change while the menu or a
    // dialog is open, the service's own checks decide.
    const auto state = service->getState();
    const bool idle = state == Service::Idle;
    const bool mayUpdate = idle || state == Service::FirmwareUpdateRequired || state == Service::Error;

    juce::PopupMenu menu;
    menu.addItem (backupItem, "Backup", idle, false);
    menu.addItem (restoreItem, "Restore", idle, false);
    menu.addItem (updateFirmwareItem, "Update Firmware", mayUpdate, false);
    menu.addItem (updateFirmwareFromFileItem, "Update Firmware from File", mayUpdate, false);

    switch (askMenu (menu))
    {
    case backupItem:
        startBackup();
        break;
    case restoreItem:
        startRestore();
        break;
    case updateFirmwareItem:
        updateFirmware (false);
        break;
    case updateFirmwareFromFileItem:
        updateFirmware (true);
        break;
    default:
        break;
    }
}

void MainComponent::updateFirmware (bool fromFile)
{
    std::unique_ptr<juce::InputStream> stream;

    if (fromFile)
    {
        const auto file = chooseFile ({ "Select Firmware", getInitialFile ("DSP Firmware.ldr"), "*.ldr", false });

        if (file == juce::File())
            return;

        if (file.getSize() <= maxFirmwareFileBytes)
            stream = file.createInputStream();
    }
    else if (BuiltInFirmware::getSize() > 0)
    {
        stream
            = std::make_unique<juce::MemoryInputStream> (BuiltInFirmware::getData(), BuiltInFirmware::getSize(), false);
    }
    else
    {
        // No stream, so the update fails below before anything reaches the unit.
        (void) KORVALUNE_ERROR ("This editor was built without a firmware image");
    }

    Service::QuellonArchive archive;
    archive.firmware = std::make_unique<std::vector<std::uint8_t>>();

    if (!readFirmware (stream.get(), *archive.firmware))
    {
        showError ("Failed to load firmware");
        (void) KORVALUNE_ERROR ("Failed to load firmware");
        return;
    }

    if (!service->startFirmwareUpdate (archive, makeProgressCallback()).ok)
    {
        showError ("Failed to start firmware update");
        (void) KORVALUNE_ERROR ("Failed to start firmware update");
    }
}

bool MainComponent::readFirmware (juce::InputStream* stream, std::vector<std::uint8_t>& image)
{
    // No stream: the file could not be opened, or is far too large to be one.
    if (stream == nullptr)
        return false;

    Korvalune::InStreamWrapper in (stream);

    // An empty image would start a transfer that never ends.
    return Korvalune::loadFirmwareImage (in, image).ok && !image.empty()
        && (juce::int64) image.size() <= maxFirmwareFileBytes;
}

void MainComponent::startBackup()
{
    const auto target = chooseFile ({ "Save Backup Bundle", getInitialFile ("Backup.bbu"), "*.bbu", true });

    if (target == juce::File())
        return;

    auto completion = guardCallback (std::function<void (const Service::QuellonArchive&)> (
        [this, target] (const Service::QuellonArchive& archive) { saveBackupArchive (archive, target); }));

    if (!service->startBackup (makeProgressCallback(), std::move (completion)).ok)
    {
        showError ("Failed to start backup");
        (void) KORVALUNE_ERROR ("Failed to start backup");
    }
}

void MainComponent::saveBackupArchive (const Service::QuellonArchive& archive, const juce::File& target)
{
    // The bundle is written beside the target and moved over it, so a failure
    // leaves whatever file was there.
    if (!Korvalune::BackupArchive::create (archive, target).ok)
    {
        showError ("Failed to save archive");
        (void) KORVALUNE_ERROR ("Failed to save archive");
    }
}

void MainComponent::startRestore()
{
    const auto file = chooseFile ({ "Restore Backup Bundle", getLastDirectory(), "*.bbu", false });

    if (file == juce::File())
        return;

    Service::QuellonArchive archive;

    if (!Korvalune::BackupArchive::load (archive, file).ok || !isRestorable (archive))
    {
        showError ("Failed to load backup");
        (void) KORVALUNE_ERROR ("Failed to load backup");
        return;
    }

    if (!service->startRestore (archive, makeProgressCallback()).ok)
    {
        showError ("Failed to start restore");
        (void) KORVALUNE_ERROR ("Failed to start restore");
    }
}

bool MainComponent::isRestorable (const Service::QuellonArchive& archive)
{
    // Any zip reads as a bundle, its unknown entries skipped: one with nothing
    // to restore is no backup, and restoring it would seem to succeed.
    if (archive.globals == nullptr && archive.cabinets.empty())
    {
        (void) KORVALUNE_ERROR ("Backup holds neither globals nor cabinets");
        return false;
    }

    // A cabinet for a slot the unit does not have would fail half-way, after
    // the globals had been written: refuse the bundle before anything is sent.
    for (const auto& cabinet : archive.cabinets)
    {
        if (cabinet.slot < 0 || cabinet.slot > 2)
        {
            (void) KORVALUNE_ERROR ("Backup holds a cabinet for slot %d", (int) cabinet.slot);
            return false;
        }
    }

    return true;
}

void MainComponent::showCabinetMenu (int slot)
{
    const auto& rows = FactoryCabinetTable::getRows();
    juce::PopupMenu menu;
    menu.addItem (fromFileItem, "From File...", true, false);

    for (int row = 0; row < FactoryCabinetTable::numRows; ++row)
        menu.addItem (firstFactoryItem + row, rows[(std::size_t) row].name, true, false);

    const int item = askMenu (menu);

    if (item == fromFileItem)
        importCabinet (slot);
    else if (item >= firstFactoryItem && item < firstFactoryItem + FactoryCabinetTable::numRows)
        sendCabinet (slot, loadFactoryCabinet (rows[(std::size_t) (item - firstFactoryItem)]));
}

MainComponent::Service::UserCabinetData MainComponent::loadFactoryCabinet (const FactoryCabinetTable::Row& row)
{
    return FactoryCabinetTable::load (row);
}

void MainComponent::importCabinet (int slot)
{
    const auto file = chooseFile ({ "Import Cabinet", getLastDirectory(), "*.wav;*.cab", false });

    if (file == juce::File())
        return;

    Service::UserCabinetData cabinet;

    if (file.hasFileExtension ("cab"))
    {
        if (!readCabinet (file, cabinet))
        {
            showError ("Failed to load cabinet");
            return;
        }
    }
    else
    {
        if (!Korvalune::UserCabinetImporter::importFile (file.getFullPathName().toRawUTF8(), cabinet.samples.data()).ok)
        {
            showError ("Failed to import cabinet");
            return;
        }

        cabinet.name = file.getFileNameWithoutExtension().toStdString();
    }

    sendCabinet (slot, cabinet);
}

void MainComponent::sendCabinet (int slot, const Service::UserCabinetData& cabinet)
{
    // Refused while no unit is served or another job runs: the user chose
    // something that never reaches the unit.
    if (!service->uploadUserCabinet (slot, cabinet).ok)
        showError ("Failed to send cabinet");
}

bool MainComponent::readCabinet (const juce::File& file, Service::UserCabinetData& cabinet)
{
    if (file.getSize() > maxCabinetFileBytes)
        return false;

    juce::FileInputStream stream (file);
    Korvalune::InStreamWrapper in (&stream);
    return stream.openedOk() && Korvalune::readCabinetFile (in, cabinet).ok;
}

//==============================================================================
juce::File MainComponent::getLastDirectory() const
{
    return rememberedFolder.getLastDirectory();
}

juce::File MainComponent::getInitialFile (const juce::String& defaultName) const
{
    return rememberedFolder.getInitialFile (defaultName);
}

void MainComponent::rememberLastDirectory (const juce::File& chosen)
{
    rememberedFolder.rememberLastDirectory (chosen);
}

juce::File MainComponent::chooseFile (const FileQuestion& question)
{
    const auto chosen = askFile (question);

    // Also when the action then fails: the user will look there again.
    if (chosen != juce::File())
        rememberLastDirectory (chosen);

    return chosen;
}
