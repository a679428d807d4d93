#include "ControlServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vunit
{

namespace
{
bool fillAddress (sockaddr_un& address, const std::string& path)
{
    std::memset (&address, 0, sizeof (address));
    address.sun_family = AF_UNIX;

    if (path.empty() || path.size() >= sizeof (address.sun_path))
        return false;

    std::memcpy (address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool someoneListens (const sockaddr_un& address)
{
    const int probe = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

    if (probe < 0)
        return false;

    const bool answered = ::connect (probe, (const sockaddr*) &address, sizeof (address)) == 0;
    ::close (probe);
    return answered;
}

bool writeAll (int fd, const std::string& text)
{
    std::size_t done = 0;

    while (done < text.size())
    {
        const auto n = ::send (fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
            return false;

        done += (std::size_t) n;
    }

    return true;
}
} // namespace

ControlServer::ControlServer (BusControl& c, std::string path)
    : control (c), socketPath (std::move (path))
{
    if (::pipe2 (wakePipe, O_CLOEXEC) != 0)
    {
        error = "pipe: " + std::string (std::strerror (errno));
        return;
    }

    if (bindSocket())
        thread = std::thread ([this] { serve(); });
}

ControlServer::~ControlServer()
{
    if (thread.joinable())
    {
        const char stop = 's';
        (void) ! ::write (wakePipe[1], &stop, 1);
        thread.join();
    }

    if (listenSocket >= 0)
    {
        ::close (listenSocket);
        ::unlink (socketPath.c_str());
    }

    for (int fd : wakePipe)
        if (fd >= 0)
            ::close (fd);
}

bool ControlServer::bindSocket()
{
    sockaddr_un address;

    if (! fillAddress (address, socketPath))
    {
        error = "socket path too long or empty: " + socketPath;
        return false;
    }

    if (someoneListens (address))
    {
        error = "another server answers on " + socketPath;
        return false;
    }

    ::unlink (socketPath.c_str());
    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

    if (fd < 0 || ::bind (fd, (const sockaddr*) &address, sizeof (address)) != 0 || ::listen (fd, 4) != 0)
    {
        error = socketPath + ": " + std::strerror (errno);

        if (fd >= 0)
            ::close (fd);

        return false;
    }

    listenSocket = fd;
    return true;
}

// True when `fd` has input; false when the server is asked to stop.
bool ControlServer::waitReadable (int fd)
{
    pollfd fds[2] = { { fd, POLLIN, 0 }, { wakePipe[0], POLLIN, 0 } };

    for (;;)
    {
        if (::poll (fds, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;

            return false;
        }

        if (fds[1].revents != 0)
            return false;

        if (fds[0].revents != 0)
            return true;
    }
}

void ControlServer::serve()
{
    while (waitReadable (listenSocket))
    {
        const int client = ::accept4 (listenSocket, nullptr, nullptr, SOCK_CLOEXEC);

        if (client >= 0)
        {
            serveClient (client);
            ::close (client);
        }
    }
}

void ControlServer::serveClient (int client)
{
    std::string pending;
    char buffer[4096];

    while (waitReadable (client))
    {
        const auto n = ::read (client, buffer, sizeof (buffer));

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
            return;

        pending.append (buffer, (std::size_t) n);

        // A client that never ends its line must not grow this forever.
        if (pending.size() > 1024 * 1024)
            return;

        for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
        {
            auto line = pending.substr (0, end);
            pending.erase (0, end + 1);

            if (! line.empty() && line.back() == '\r')
                line.pop_back();

            if (! writeAll (client, control.execute (line)))
                return;
        }
    }
}

} // namespace vunit
