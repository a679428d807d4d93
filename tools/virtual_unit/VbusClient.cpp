// quellon-vbus: sends one command to the virtual bus of a program that runs
// with the hidapi shim, and prints the answer.
//
//   quellon-vbus [-s SOCKET | -p PORT] [-w SECONDS] COMMAND [ARGUMENT...]
//
// -s names the control socket (default as the shim's: $QUELLON_VBUS_SOCKET,
// else $XDG_RUNTIME_DIR/quellon-vbus.sock, else /tmp/quellon-vbus-<uid>.sock);
// -p reaches the shim of a Windows program under Wine on its TCP port on
// 127.0.0.1 instead; -w waits up to SECONDS for the bus to answer. Exit
// status: 0 for OK, 1 for ERR (the reason goes to stderr), 2 when the bus
// cannot be reached.

#include "ControlSocketPath.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{
// A Unix socket path, or a port on 127.0.0.1 when `port` is above 0.
int connectTo (const std::string& path, int port, double waitSeconds)
{
    sockaddr_un unixAddress {};
    unixAddress.sun_family = AF_UNIX;
    sockaddr_in tcpAddress {};
    tcpAddress.sin_family = AF_INET;
    tcpAddress.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
    tcpAddress.sin_port = htons ((std::uint16_t) port);

    if (path.size() >= sizeof (unixAddress.sun_path))
        return -1;

    std::memcpy (unixAddress.sun_path, path.c_str(), path.size() + 1);
    const auto* address = port > 0 ? (const sockaddr*) &tcpAddress : (const sockaddr*) &unixAddress;
    const auto length = port > 0 ? sizeof (tcpAddress) : sizeof (unixAddress);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double> (waitSeconds);

    for (;;)
    {
        const int fd = ::socket (port > 0 ? AF_INET : AF_UNIX, SOCK_STREAM, 0);

        if (fd >= 0 && ::connect (fd, address, (socklen_t) length) == 0)
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
    int port = 0;
    double waitSeconds = 0;
    int i = 1;

    for (; i + 1 < argc && argv[i][0] == '-'; i += 2)
    {
        if (std::strcmp (argv[i], "-s") == 0)
            socketPath = argv[i + 1];
        else if (std::strcmp (argv[i], "-p") == 0)
            port = std::atoi (argv[i + 1]);
        else if (std::strcmp (argv[i], "-w") == 0)
            waitSeconds = std::atof (argv[i + 1]);
        else
            break;
    }

    if (i >= argc)
    {
        std::fprintf (stderr, "usage: quellon-vbus [-s SOCKET | -p PORT] [-w SECONDS] COMMAND [ARGUMENT...]\n"
                              "       quellon-vbus help   lists the commands\n");
        return 2;
    }

    std::string line;

    for (; i < argc; ++i)
        line += std::string (argv[i]) + (i + 1 < argc ? " " : "\n");

    if (port < 0 || port > 65535)
    {
        std::fprintf (stderr, "quellon-vbus: no TCP port: %d\n", port);
        return 2;
    }

    const int fd = connectTo (socketPath, port, waitSeconds);

    if (fd < 0)
    {
        const auto where = port > 0 ? "127.0.0.1:" + std::to_string (port) : socketPath;
        std::fprintf (stderr, "quellon-vbus: cannot reach the bus at %s\n", where.c_str());
        return 2;
    }

    const int status = sendAll (fd, line) ? readAnswer (fd) : 2;
    ::close (fd);
    return status;
}
