#pragma once

#include "BusControl.h"

#include <string>
#include <thread>

namespace vunit
{

// Serves a BusControl on a Unix stream socket, one client at a time: each
// line a client sends is one command, answered as BusControl answers it.
//
// Owns: the socket (its file is removed on destruction) and its thread.
// Threads: the server thread runs the commands; construction and
// destruction happen on any one other thread.
class ControlServer
{
public:
    // A socket file that no server answers on any more is replaced; a live
    // one is left alone and this server does not start.
    ControlServer (BusControl& control, std::string socketPath);
    ~ControlServer();

    ControlServer (const ControlServer&) = delete;
    ControlServer& operator= (const ControlServer&) = delete;

    bool isRunning() const { return listenSocket >= 0; }
    const std::string& getSocketPath() const { return socketPath; }
    // Why the server did not start; empty when it runs.
    const std::string& getError() const { return error; }

private:
    bool bindSocket();
    void serve();
    void serveClient (int client);
    bool waitReadable (int fd);

    BusControl& control;
    const std::string socketPath;
    std::string error;
    int listenSocket = -1;
    int wakePipe[2] = { -1, -1 };
    std::thread thread;
};

} // namespace vunit
