// The control channel on Linux: a Unix stream socket.
#include "BusControl.h"
#include "ControlServer.h"
#include "ControlAnswers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vunit;

namespace
{
struct Bus
{
    VirtualBus bus;
    BusControl control { bus };
};

std::string temporarySocketPath (const char* name)
{
    return ::testing::TempDir() + "vbus-" + std::to_string (::getpid()) + "-" + name + ".sock";
}

int connectTo (const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy (address.sun_path, path.c_str(), sizeof (address.sun_path) - 1);
    const int fd = ::socket (AF_UNIX, SOCK_STREAM, 0);

    if (::connect (fd, (const sockaddr*) &address, sizeof (address)) != 0)
    {
        ::close (fd);
        return -1;
    }

    return fd;
}

std::string readAnswers (int fd, int count)
{
    return readControlAnswers ([fd] (char* buffer, std::size_t size) { return ::read (fd, buffer, size); }, count);
}
} // namespace

TEST (ControlServer, AnswersEachLineOfAClient)
{
    Bus b;
    const auto path = temporarySocketPath ("lines");
    {
        ControlServer server (b.control, path);
        ASSERT_TRUE (server.isRunning()) << server.getError();

        const int fd = connectTo (path);
        ASSERT_GE (fd, 0);
        const std::string commands = "plug u1\r\nlist\nbogus\n";
        ASSERT_EQ (::write (fd, commands.data(), commands.size()), (ssize_t) commands.size());
        EXPECT_EQ (readAnswers (fd, 3), "OK\nu1 present virtual:u1 vid=0x04d8 pid=0x003f\nOK\nERR unknown command: bogus\n");
        ::close (fd);

        ControlServer second (b.control, path);
        EXPECT_FALSE (second.isRunning()) << "a live socket is not taken over";
    }

    EXPECT_NE (::access (path.c_str(), F_OK), 0) << "the socket file goes with the server";
}

TEST (ControlServer, ReplacesAStaleSocketFile)
{
    Bus b;
    const auto path = temporarySocketPath ("stale");
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy (address.sun_path, path.c_str(), sizeof (address.sun_path) - 1);
        const int fd = ::socket (AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ (::bind (fd, (const sockaddr*) &address, sizeof (address)), 0);
        ::close (fd);
    }

    ControlServer server (b.control, path);
    ASSERT_TRUE (server.isRunning()) << server.getError();
    const int fd = connectTo (path);
    ASSERT_GE (fd, 0);
    ::close (fd);
}
