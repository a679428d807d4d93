// quellon-vbus: sends one command to the virtual bus of a program that runs
// with the hidapi shim, and prints the answer.
//
//   quellon-vbus [-s SOCKET] [-w SECONDS] COMMAND [ARGUMENT...]
//
// -s names the control socket (default as the shim's: $QUELLON_VBUS_SOCKET,
// else $XDG_RUNTIME_DIR/quellon-vbus.sock, else /tmp/quellon-vbus-<uid>.sock);
// -w waits up to SECONDS for the socket to appear. Exit status: 0 for OK,
// 1 for ERR (the reason goes to stderr), 2 when the bus cannot be reached.

#include "ControlSocketPath.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{
int connectTo (const std::string& path, double waitSeconds)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;

    if (path.size() >= sizeof (address.sun_path))
        return -1;

    std::memcpy (address.sun_path, path.c_str(), path.size() + 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double> (waitSeconds);

    for (;;)
    {
        const int fd = ::socket (AF_UNIX, SOCK_STREAM, 0);

        if (fd >= 0 && ::connect (fd, (const sockaddr*) &address, sizeof (address)) == 0)
            return fd;

        if (fd >= 0)
            ::close (fd);

        if (std::chrono::steady_clock::now() >= deadline)
            return -1;

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }
}

bool sendAll (int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();)
    {
        const auto n = ::send (fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);

        if (n <= 0)
            return false;

        done += (std::size_t) n;
    }

    return true;
}

// Prints the data lines and returns the exit status of the last line.
int readAnswer (int fd)
{
    std::string pending;
    char buffer[4096];

    for (;;)
    {
        for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
        {
            const auto line = pending.substr (0, end);
            pending.erase (0, end + 1);

            if (line == "OK")
                return 0;

            if (line.rfind ("ERR", 0) == 0)
            {
                std::fprintf (stderr, "%s\n", line.c_str());
                return 1;
            }

            std::printf ("%s\n", line.c_str());
        }

        const auto n = ::read (fd, buffer, sizeof (buffer));

        if (n <= 0)
        {
            std::fprintf (stderr, "quellon-vbus: the bus closed the connection\n");
            return 2;
        }

        pending.append (buffer, (std::size_t) n);
    }
}
} // namespace

int main (int argc, char** argv)
{
    std::string socketPath = vunit::defaultControlSocketPath();
    double waitSeconds = 0;
    int i = 1;

    for (; i + 1 < argc && argv[i][0] == '-'; i += 2)
    {
        if (std::strcmp (argv[i], "-s") == 0)
            socketPath = argv[i + 1];
        else if (std::strcmp (argv[i], "-w") == 0)
            waitSeconds = std::atof (argv[i + 1]);
        else
            break;
    }

    if (i >= argc)
    {
        std::fprintf (stderr, "usage: quellon-vbus [-s SOCKET] [-w SECONDS] COMMAND [ARGUMENT...]\n"
                              "       quellon-vbus help   lists the commands\n");
        return 2;
    }

    std::string line;

    for (; i < argc; ++i)
        line += std::string (argv[i]) + (i + 1 < argc ? " " : "\n");

    const int fd = connectTo (socketPath, waitSeconds);

    if (fd < 0)
    {
        std::fprintf (stderr, "quellon-vbus: cannot reach the bus at %s\n", socketPath.c_str());
        return 2;
    }

    const int status = sendAll (fd, line) ? readAnswer (fd) : 2;
    ::close (fd);
    return status;
}
