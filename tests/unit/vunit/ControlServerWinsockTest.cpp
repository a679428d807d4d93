// The control channel on Windows: a TCP port on the loopback address, driven
// from outside the Wine process.
#include "BusControl.h"
#include "ControlServer.h"
#include "ControlAnswers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <winsock2.h>

using namespace vunit;

namespace
{
struct Bus
{
    VirtualBus bus;
    BusControl control { bus };
};

struct Winsock
{
    Winsock()
    {
        WSADATA data;
        started = WSAStartup (MAKEWORD (2, 2), &data) == 0;
    }
    ~Winsock()
    {
        if (started)
            WSACleanup();
    }
    bool started = false;
};

SOCKET connectTo (const std::string& port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
    address.sin_port = htons ((u_short) std::stoi (port));
    const SOCKET s = ::socket (AF_INET, SOCK_STREAM, IPPROTO_TCP);

    if (s != INVALID_SOCKET && ::connect (s, (const sockaddr*) &address, sizeof (address)) != 0)
    {
        ::closesocket (s);
        return INVALID_SOCKET;
    }

    return s;
}

std::string readAnswers (SOCKET s, int count)
{
    return readControlAnswers ([s] (char* buffer, std::size_t size) { return ::recv (s, buffer, (int) size, 0); }, count);
}
} // namespace

TEST (ControlServer, AnswersEachLineOfAClientOnItsPort)
{
    Winsock winsock;
    ASSERT_TRUE (winsock.started);
    Bus b;

    ControlServer server (b.control, "0");
    ASSERT_TRUE (server.isRunning()) << server.getError();
    const auto port = server.getSocketPath();
    ASSERT_NE (port, "0") << "the port taken is told";

    const SOCKET s = connectTo (port);
    ASSERT_NE (s, INVALID_SOCKET);
    const std::string commands = "plug u1\r\nlist\nbogus\n";
    ASSERT_EQ (::send (s, commands.data(), (int) commands.size(), 0), (int) commands.size());
    EXPECT_EQ (readAnswers (s, 3), "OK\nu1 present virtual:u1 vid=0x04d8 pid=0x003f\nOK\nERR unknown command: bogus\n");
    ::closesocket (s);

    ControlServer second (b.control, port);
    EXPECT_FALSE (second.isRunning()) << "a port in use is not shared";
    EXPECT_EQ (second.getError(), "another server answers on port " + port);
}

TEST (ControlServer, StopsWhileAClientStaysConnected)
{
    Winsock winsock;
    Bus b;
    SOCKET s = INVALID_SOCKET;
    {
        ControlServer server (b.control, "0");
        ASSERT_TRUE (server.isRunning()) << server.getError();
        s = connectTo (server.getSocketPath());
        ASSERT_NE (s, INVALID_SOCKET);
        ASSERT_EQ (::send (s, "list\n", 5, 0), 5);
        EXPECT_EQ (readAnswers (s, 1), "OK\n");
    }

    char byte;
    EXPECT_LE (::recv (s, &byte, 1, 0), 0) << "the client is let go";
    ::closesocket (s);
}

TEST (ControlServer, RefusesWhatIsNoPort)
{
    Bus b;
    for (const char* address : { "70000", "-1", "port", "" })
    {
        ControlServer server (b.control, address);
        EXPECT_FALSE (server.isRunning()) << address;
        EXPECT_EQ (server.getError(), std::string ("not a TCP port: ") + address);
    }
}

TEST (ControlServer, TheShimServesOnlyWhenAPortIsGiven)
{
    ASSERT_EQ (_putenv_s ("QUELLON_VBUS_PORT", ""), 0);
    EXPECT_EQ (ControlChannel::defaultAddress(), "none");
    ASSERT_EQ (_putenv_s ("QUELLON_VBUS_PORT", "47123"), 0);
    EXPECT_EQ (ControlChannel::defaultAddress(), "47123");
    ASSERT_EQ (_putenv_s ("QUELLON_VBUS_PORT", ""), 0);
}
