#include "MessageLoopAid.h"

#include <windows.h>

namespace
{
// Wine's ntdll exports wine_get_version; Windows' own does not.
bool runsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA ("ntdll.dll");
    return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
}

class WineRepaintPump final : public MessageLoopAid,
                              private juce::Timer
{
public:
    WineRepaintPump() { startTimerHz (60); }
    ~WineRepaintPump() override { stopTimer(); }

private:
    void timerCallback() override
    {
        for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
            if (auto* peer = juce::ComponentPeer::getPeer (i))
                peer->performAnyPendingRepaintsNow();
    }
};
} // namespace

std::unique_ptr<MessageLoopAid> startMessageLoopAid (juce::Component&)
{
    if (! runsUnderWine())
        return nullptr;

    return std::make_unique<WineRepaintPump>();
}
