#include "ControlChannel.h"
#include "ControlSocketPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vunit
{

struct ControlChannel::Native
{
    int listenSocket = -1;
    int wakePipe[2] = { -1, -1 };

    // True when `fd` has input; false when the channel is asked to stop.
    bool waitReadable (int fd)
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
};

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
} // namespace

std::string ControlChannel::defaultAddress()
{
    return defaultControlSocketPath();
}

ControlChannel::ControlChannel (const std::string& path)
    : native (std::make_unique<Native>()), address (path)
{
    if (::pipe2 (native->wakePipe, O_CLOEXEC) != 0)
    {
        error = "pipe: " + std::string (std::strerror (errno));
        return;
    }

    sockaddr_un socketAddress;

    if (! fillAddress (socketAddress, path))
    {
        error = "socket path too long or empty: " + path;
        return;
    }

    if (someoneListens (socketAddress))
    {
        error = "another server answers on " + path;
        return;
    }

    ::unlink (path.c_str());
    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

    if (fd < 0 || ::bind (fd, (const sockaddr*) &socketAddress, sizeof (socketAddress)) != 0 || ::listen (fd, 4) != 0)
    {
        error = path + ": " + std::strerror (errno);

        if (fd >= 0)
            ::close (fd);

        return;
    }

    native->listenSocket = fd;
}

ControlChannel::~ControlChannel()
{
    if (native->listenSocket >= 0)
    {
        ::close (native->listenSocket);
        ::unlink (address.c_str());
    }

    for (int fd : native->wakePipe)
        if (fd >= 0)
            ::close (fd);
}

bool ControlChannel::isOpen() const
{
    return native->listenSocket >= 0;
}

ControlChannel::Connection ControlChannel::accept()
{
    while (native->waitReadable (native->listenSocket))
    {
        const int client = ::accept4 (native->listenSocket, nullptr, nullptr, SOCK_CLOEXEC);

        if (client >= 0)
            return client;
    }

    return noConnection;
}

std::size_t ControlChannel::receive (Connection client, char* buffer, std::size_t size)
{
    while (native->waitReadable ((int) client))
    {
        const auto n = ::read ((int) client, buffer, size);

        if (n < 0 && errno == EINTR)
            continue;

        return n > 0 ? (std::size_t) n : 0;
    }

    return 0;
}

bool ControlChannel::send (Connection client, const std::string& text)
{
    std::size_t done = 0;

    while (done < text.size())
    {
        const auto n = ::send ((int) client, text.data() + done, text.size() - done, MSG_NOSIGNAL);

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
            return false;

        done += (std::size_t) n;
    }

    return true;
}

void ControlChannel::close (Connection client)
{
    ::close ((int) client);
}

void ControlChannel::stop()
{
    const char stop = 's';
    (void) ! ::write (native->wakePipe[1], &stop, 1);
}

void ControlChannel::removeEndpoint()
{
    if (native->listenSocket >= 0)
        ::unlink (address.c_str());
}

} // namespace vunit
