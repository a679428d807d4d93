// Posts WM_CLOSE to the framework's hidden message window and to no other
// window: of the messages that a polite close from outside posts to every
// top-level window of a program, the one that reaches no window the user
// sees. The framework program that runs is the only one in the test's prefix.
#include <windows.h>

#include <cstdio>

int main()
{
    const HWND window = FindWindowA (nullptr, "JUCEWindow");

    if (window == nullptr || ! PostMessageA (window, WM_CLOSE, 0, 0))
    {
        std::fprintf (stderr, "No message window took WM_CLOSE\n");
        return 1;
    }

    return 0;
}
