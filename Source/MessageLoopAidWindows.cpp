#include "MessageLoopAid.h"

#include "Protocol/Log.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace juce
{
// The framework's hidden message window: every timer, async update and quit
// message reaches the message thread through it.
extern HWND juce_messageWindowHandle;
} // namespace juce

namespace
{
WNDPROC frameworkMessageWindowProc = nullptr;

// The message window is a plain top-level window, so a polite close of the
// whole program from outside (taskkill without /f) sends it WM_CLOSE as well,
// which its own procedure hands to DefWindowProc: the window would be
// destroyed, and with it every timer, async update and the quit message that
// the main window's close may just have posted. Here that WM_CLOSE is the
// program's own quit request instead, the one the close button makes, in
// whatever order the windows get theirs. Without an application there is
// nothing to ask, and the window must still live as long as the loop.
LRESULT CALLBACK messageWindowProc (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_CLOSE)
        return CallWindowProcW (frameworkMessageWindowProc, window, message, wParam, lParam);

    if (auto* application = juce::JUCEApplicationBase::getInstance())
        application->systemRequestedQuit();

    return 0;
}

// For the rest of the run: the window goes only with the framework's message
// loop, and the framework's procedure is the same for every message window.
void quitOnMessageWindowClose()
{
    const HWND window = juce::juce_messageWindowHandle;

    if (window == nullptr)
        return;

    const auto current = (WNDPROC) GetWindowLongPtrW (window, GWLP_WNDPROC);

    if (current == messageWindowProc)
        return;

    frameworkMessageWindowProc = current;

    if (SetWindowLongPtrW (window, GWLP_WNDPROC, (LONG_PTR) messageWindowProc) == 0)
        Korvalune::logMessage (Korvalune::LogWarning, "The message window could not be kept from closing");
}

// Wine's ntdll exports wine_get_version; Windows' own does not.
bool runsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA ("ntdll.dll");
    return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
}

// Paints, at most 60 times a second, what the framework's repaint thread
// would have painted at the next vertical blank, and only in the windows that
// asked for it: an idle editor costs nothing here. Painting a window that has
// not asked is not free: a window that is not opaque (the four of the main
// window's drop shadow) is painted whole each time it is pumped.
//
// A window's repaint requests pass its top-level component's cached image on
// their way to the peer; a RepaintWatch set there sees every one of them. The
// peer paints a top-level component itself, never through that image, so the
// watch takes no part in painting. A window being created on this thread (a
// menu, an alert) wakes the pump too, so that it is watched from the next tick.
class WineRepaintPump final : public MessageLoopAid,
                              private juce::Timer
{
public:
    WineRepaintPump()
    {
        instance = this;
        creationHook = SetWindowsHookExW (WH_CBT, windowCreated, nullptr, GetCurrentThreadId());

        // Unhooked, a new menu or alert could not wake the pump, so it never rests.
        if (creationHook == nullptr)
            Korvalune::logMessage (Korvalune::LogWarning, "No window creation hook: the repaint pump never rests");

        wake();
    }

    ~WineRepaintPump() override
    {
        stopTimer();

        if (creationHook != nullptr)
            UnhookWindowsHookEx (creationHook);

        instance = nullptr;

        for (auto& window : watched)
            if (window != nullptr && dynamic_cast<RepaintWatch*> (window->getCachedComponentImage()) != nullptr)
                window->setCachedComponentImage (nullptr);
    }

private:
    struct RepaintWatch final : juce::CachedComponentImage
    {
        explicit RepaintWatch (WineRepaintPump& owner)
            : pump (owner)
        {
        }

        void paint (juce::Graphics&) override {}
        bool invalidateAll() override { return ask(); }
        bool invalidate (const juce::Rectangle<int>&) override { return ask(); }
        void releaseResources() override {}

        bool ask()
        {
            asked = true;
            pump.wake();
            return true; // the peer is told as well
        }

        WineRepaintPump& pump;
        bool asked = false;
    };

    void wake()
    {
        outstanding = true;

        if (! isTimerRunning())
            startTimerHz (60);
    }

    // The watch of `window`, set on its first tick; null when the window
    // carries a cached image of its own, which hides its repaints.
    RepaintWatch* watchOf (juce::Component& window)
    {
        if (window.getCachedComponentImage() == nullptr)
        {
            watched.erase (std::remove (watched.begin(), watched.end(), nullptr), watched.end());
            window.setCachedComponentImage (new RepaintWatch (*this)); // asks for a repaint of the whole window
            watched.emplace_back (&window);
        }

        return dynamic_cast<RepaintWatch*> (window.getCachedComponentImage());
    }

    void timerCallback() override
    {
        outstanding = false;
        bool unwatchedWindow = false;

        for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        {
            if (auto* peer = juce::ComponentPeer::getPeer (i))
            {
                auto* watch = watchOf (peer->getComponent());
                unwatchedWindow |= watch == nullptr;

                if (watch == nullptr || std::exchange (watch->asked, false))
                    peer->performAnyPendingRepaintsNow();
            }
        }

        // A repaint asked for while painting waits for the next tick.
        if (! outstanding && ! unwatchedWindow && creationHook != nullptr)
            stopTimer();
    }

    static LRESULT CALLBACK windowCreated (int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND && instance != nullptr)
            instance->wake();

        return CallNextHookEx (nullptr, code, wParam, lParam);
    }

    static inline WineRepaintPump* instance = nullptr;
    HHOOK creationHook = nullptr;
    bool outstanding = false;
    std::vector<juce::Component::SafePointer<juce::Component>> watched;
};
} // namespace

std::unique_ptr<MessageLoopAid> startMessageLoopAid (juce::Component&)
{
    quitOnMessageWindowClose();

    if (! runsUnderWine())
        return nullptr;

    return std::make_unique<WineRepaintPump>();
}
