#pragma once

#include "BusControl.h"
#include "ControlChannel.h"

#include <string>
#include <thread>

namespace vunit
{

// Serves a BusControl on the platform's control channel (ControlChannel.h),
// one client at a time: each line a client sends is one command, answered as
// BusControl answers it.
//
// Owns: the channel (a socket file is removed on destruction) and its thread.
// Threads: the server thread runs the commands; construction and
// destruction happen on any one other thread.
class ControlServer
{
public:
    // `address` as ControlChannel takes it: a socket path, or a TCP port. A
    // socket file that no server answers on any more is replaced; a live one
    // is left alone and this server does not start.
    ControlServer (BusControl& control, std::string address);
    ~ControlServer();

    ControlServer (const ControlServer&) = delete;
    ControlServer& operator= (const ControlServer&) = delete;

    bool isRunning() const { return channel.isOpen(); }
    // The socket path, or the port served.
    const std::string& getSocketPath() const { return channel.getAddress(); }
    // Why the server did not start; empty when it runs.
    const std::string& getError() const { return channel.getError(); }
    // The process ends without destructors: remove the socket file.
    void removeEndpoint() { channel.removeEndpoint(); }

private:
    void serve();
    void serveClient (ControlChannel::Connection client);

    BusControl& control;
    ControlChannel channel;
    std::thread thread;
};

} // namespace vunit
