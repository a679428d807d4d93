#include "ControlServer.h"

namespace vunit
{

ControlServer::ControlServer (BusControl& c, std::string address)
    : control (c), channel (address)
{
    if (channel.isOpen())
        thread = std::thread ([this] { serve(); });
}

ControlServer::~ControlServer()
{
    if (thread.joinable())
    {
        channel.stop();
        thread.join();
    }
}

void ControlServer::serve()
{
    for (auto client = channel.accept(); client != ControlChannel::noConnection; client = channel.accept())
    {
        serveClient (client);
        channel.close (client);
    }
}

void ControlServer::serveClient (ControlChannel::Connection client)
{
    std::string pending;
    char buffer[4096];

    for (auto n = channel.receive (client, buffer, sizeof (buffer)); n > 0;
         n = channel.receive (client, buffer, sizeof (buffer)))
    {
        pending.append (buffer, n);

        // A client that never ends its line must not grow this forever.
        if (pending.size() > 1024 * 1024)
            return;

        for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
        {
            auto line = pending.substr (0, end);
            pending.erase (0, end + 1);

            if (! line.empty() && line.back() == '\r')
                line.pop_back();

            if (! channel.send (client, control.execute (line)))
                return;
        }
    }
}

} // namespace vunit
