#include "StatusTable.h"

#include <cstdio>

namespace
{
enum : int
{
    stateIdle = 1,
    stateRestoring = 6,
    stateUpdatingFirmware = 8,
    stateFirmwareUpdateRequired = 10,
    stateError = 11,
    numStates = 12
};

const StatusLook looks[numStates] = {
    { "Not Connected", false, false, false },
    { "", false, false, false },
    { "Busy", true, false, false },
    { "Refreshing...", true, false, false },
    { "Sending...", true, false, false },
    { "Receiving...", true, false, false },
    { "Sending...", true, true, false },
    { "Receiving...", true, true, false },
    { "Updating FW...", true, true, false },
    { "Update Complete\nPlease disconnect/reconnect power supply", false, false, false },
    { "Firmware update required\nSelect 'Update Firmware' from the file menu", false, false, true },
    { "Error:\n", false, false, false },
};
} // namespace

StatusLook statusLookFor (int state)
{
    return looks[state >= 0 && state < numStates ? state : stateIdle];
}

juce::String statusTextFor (int state, const std::string& lastError, bool hasBuiltInFirmware)
{
    if (state == stateFirmwareUpdateRequired && ! hasBuiltInFirmware)
        return "Firmware update required\nUse 'Update Firmware from File' in the menu";

    juce::String text (statusLookFor (state).text);

    if (state == stateError)
        text << juce::String (juce::CharPointer_UTF8 (lastError.c_str()));

    return text;
}

juce::String closingNoticeFor (int state)
{
    if (state == stateRestoring)
        return "The editor closes when the restore is done";

    if (state == stateUpdatingFirmware)
        return "The editor closes when the update is done";

    return {};
}

std::string formatFirmwareVersion (const Korvalune::KorvaluneData::Version& v)
{
    char text[16];

    if (v[3] != 0)
        std::snprintf (text, sizeof (text), "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    else
        std::snprintf (text, sizeof (text), "%d.%d.%d", v[0], v[1], v[2]);

    return text;
}

juce::String footerText (bool unitAttached, const Korvalune::KorvaluneData::DeviceVersionInfo& versions)
{
    juce::String text;
    text << "Editor Version: " << editorVersion << "   -   Firmware Version: ";

    if (unitAttached)
        text << formatFirmwareVersion (versions.dsp);
    else
        text << "(unknown)";

    return text;
}
