#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vunit
{

// The listening end of the virtual bus's control channel; one kind per
// platform, each in a file of its own: a Unix stream socket at a path on
// Linux (ControlChannelUnix.cpp), a TCP port on the loopback address on
// Windows (ControlChannelWinsock.cpp), since a program under Wine is driven
// from the Linux side.
//
// Threads: one thread accepts, receives and sends; stop() may come from any
// other. Construction and destruction happen on one thread, after the
// serving thread has ended.
class ControlChannel
{
public:
    using Connection = std::intptr_t;
    static constexpr Connection noConnection = -1;

    // Unix: `address` is the socket path; a socket file that no server
    // answers on any more is replaced, a live one is left alone. Windows: the
    // port number ("0": any free port, see getAddress).
    explicit ControlChannel (const std::string& address);
    // Closes the channel; a socket file is removed.
    ~ControlChannel();

    // Where the shim serves and clients look by default. Unix: as
    // ControlSocketPath.h says. Windows: the port in $QUELLON_VBUS_PORT.
    // "none" when there is to be no channel.
    static std::string defaultAddress();

    ControlChannel (const ControlChannel&) = delete;
    ControlChannel& operator= (const ControlChannel&) = delete;

    bool isOpen() const;
    // The socket path, or the port actually listened on.
    const std::string& getAddress() const { return address; }
    // Why the channel did not open; empty when it is open.
    const std::string& getError() const { return error; }

    // Waits for the next client; noConnection once stop() has been called.
    Connection accept();
    // Waits for bytes from the client: their count, or 0 when the client has
    // gone, the read failed or stop() has been called.
    std::size_t receive (Connection client, char* buffer, std::size_t size);
    bool send (Connection client, const std::string& text);
    void close (Connection client);
    // Ends every wait of accept() and receive(), for good.
    void stop();
    // The process is ending without destructors: remove what would outlive it.
    void removeEndpoint();

private:
    struct Native;
    std::unique_ptr<Native> native;
    std::string address;
    std::string error;
};

} // namespace vunit
