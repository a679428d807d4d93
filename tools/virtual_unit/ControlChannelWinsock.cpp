#include "ControlChannel.h"

#include <cstdlib>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace vunit
{

// Winsock has no pipe to select() on, so the wake-up is a connected pair of
// loopback sockets: stop() writes to one end, every wait also watches the other.
struct ControlChannel::Native
{
    bool started = false;
    SOCKET listenSocket = INVALID_SOCKET;
    SOCKET wakeRead = INVALID_SOCKET;
    SOCKET wakeWrite = INVALID_SOCKET;

    // True when `s` has input; false when the channel is asked to stop.
    bool waitReadable (SOCKET s)
    {
        for (;;)
        {
            fd_set readable;
            FD_ZERO (&readable);
            FD_SET (s, &readable);
            FD_SET (wakeRead, &readable);

            if (::select (0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR)
                return false;

            if (FD_ISSET (wakeRead, &readable))
                return false;

            if (FD_ISSET (s, &readable))
                return true;
        }
    }
};

namespace
{
std::string lastError (const char* what)
{
    return std::string (what) + ": Winsock error " + std::to_string (WSAGetLastError());
}

sockaddr_in loopback (unsigned short port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
    address.sin_port = htons (port);
    return address;
}

// A listening socket on 127.0.0.1:port that no other socket may share.
SOCKET listenOn (unsigned short port)
{
    const SOCKET s = ::socket (AF_INET, SOCK_STREAM, IPPROTO_TCP);

    if (s == INVALID_SOCKET)
        return s;

    BOOL exclusive = TRUE;
    ::setsockopt (s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, (const char*) &exclusive, sizeof (exclusive));
    const auto address = loopback (port);

    if (::bind (s, (const sockaddr*) &address, sizeof (address)) != 0 || ::listen (s, 4) != 0)
    {
        const int reason = WSAGetLastError();
        ::closesocket (s);
        WSASetLastError (reason);
        return INVALID_SOCKET;
    }

    return s;
}

unsigned short boundPort (SOCKET s)
{
    sockaddr_in address {};
    int length = sizeof (address);
    ::getsockname (s, (sockaddr*) &address, &length);
    return ntohs (address.sin_port);
}

bool makeWakePair (SOCKET& readEnd, SOCKET& writeEnd)
{
    const SOCKET listener = listenOn (0);

    if (listener == INVALID_SOCKET)
        return false;

    const auto address = loopback (boundPort (listener));
    writeEnd = ::socket (AF_INET, SOCK_STREAM, IPPROTO_TCP);

    if (writeEnd != INVALID_SOCKET && ::connect (writeEnd, (const sockaddr*) &address, sizeof (address)) == 0)
        readEnd = ::accept (listener, nullptr, nullptr);

    ::closesocket (listener);
    return readEnd != INVALID_SOCKET;
}

bool parsePort (const std::string& text, unsigned short& port)
{
    char* end = nullptr;
    const long value = std::strtol (text.c_str(), &end, 10);

    if (text.empty() || *end != '\0' || value < 0 || value > 65535)
        return false;

    port = (unsigned short) value;
    return true;
}
} // namespace

std::string ControlChannel::defaultAddress()
{
    const char* port = std::getenv ("QUELLON_VBUS_PORT");
    return port != nullptr && *port != '\0' ? port : "none";
}

ControlChannel::ControlChannel (const std::string& port)
    : native (std::make_unique<Native>()), address (port)
{
    WSADATA data;

    if (WSAStartup (MAKEWORD (2, 2), &data) != 0)
    {
        error = "Winsock cannot start";
        return;
    }

    native->started = true;
    unsigned short number = 0;

    if (! parsePort (port, number))
    {
        error = "not a TCP port: " + port;
        return;
    }

    if (! makeWakePair (native->wakeRead, native->wakeWrite))
    {
        error = lastError ("wake-up sockets");
        return;
    }

    native->listenSocket = listenOn (number);

    if (native->listenSocket == INVALID_SOCKET)
    {
        error = WSAGetLastError() == WSAEADDRINUSE ? "another server answers on port " + port
                                                    : lastError (("port " + port).c_str());
        return;
    }

    address = std::to_string (boundPort (native->listenSocket));
}

ControlChannel::~ControlChannel()
{
    for (SOCKET s : { native->listenSocket, native->wakeRead, native->wakeWrite })
        if (s != INVALID_SOCKET)
            ::closesocket (s);

    if (native->started)
        WSACleanup();
}

bool ControlChannel::isOpen() const
{
    return native->listenSocket != INVALID_SOCKET;
}

ControlChannel::Connection ControlChannel::accept()
{
    while (native->waitReadable (native->listenSocket))
    {
        const SOCKET client = ::accept (native->listenSocket, nullptr, nullptr);

        if (client != INVALID_SOCKET)
            return (Connection) client;
    }

    return noConnection;
}

std::size_t ControlChannel::receive (Connection client, char* buffer, std::size_t size)
{
    if (! native->waitReadable ((SOCKET) client))
        return 0;

    const int n = ::recv ((SOCKET) client, buffer, (int) size, 0);
    return n > 0 ? (std::size_t) n : 0;
}

bool ControlChannel::send (Connection client, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();)
    {
        const int n = ::send ((SOCKET) client, text.data() + done, (int) (text.size() - done), 0);

        if (n <= 0)
            return false;

        done += (std::size_t) n;
    }

    return true;
}

void ControlChannel::close (Connection client)
{
    ::closesocket ((SOCKET) client);
}

void ControlChannel::stop()
{
    const char stop = 's';
    (void) ::send (native->wakeWrite, &stop, 1, 0);
}

void ControlChannel::removeEndpoint() { }

} // namespace vunit
