#pragma once

#include "Protocol/KorvaluneData.h"

#include <juce_core/juce_core.h>
#include <string>

// What the main view shows for each state of the editor service (0 to 11,
// from not connected to error): the overlay's text, whether the spinner turns
// and the progress bar shows, and whether the MENU text is lit to point the
// user at the firmware update. An empty text hides the overlay.
struct StatusLook
{
    const char* text;
    bool spinner;
    bool progressBar;
    bool menuHighlighted;
};

// The look of a state; a value outside 0 to 11 looks like idle.
StatusLook statusLookFor (int state);

// The overlay text of a state; the error state adds the service's last error.
// An editor built without a firmware image points a unit that needs an update
// at the menu item that can do it, the update from a file.
juce::String statusTextFor (int state, const std::string& lastError, bool hasBuiltInFirmware);

// The overlay's detail line while a quit waits for the job of `state` to
// end; empty for a state whose job does not hold a quit back.
juce::String closingNoticeFor (int state);

// "a.b.c.d", or "a.b.c" when the fourth number is 0.
std::string formatFirmwareVersion (const Korvalune::KorvaluneData::Version& version);

// The version footer: the editor's own version, then the unit's DSP firmware
// version when a unit is attached, else "(unknown)".
juce::String footerText (bool unitAttached, const Korvalune::KorvaluneData::DeviceVersionInfo& versions);

// The editor's own version, as the application reports it.
inline constexpr const char* editorVersion = "1.2.0.1";
