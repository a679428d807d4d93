#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace vunit
{

// Where the shim serves its control socket and where the client looks for it:
// $QUELLON_VBUS_SOCKET, else $XDG_RUNTIME_DIR/quellon-vbus.sock, else
// /tmp/quellon-vbus-<uid>.sock.
inline std::string defaultControlSocketPath()
{
    if (const char* path = std::getenv ("QUELLON_VBUS_SOCKET"))
        return path;

    if (const char* runtime = std::getenv ("XDG_RUNTIME_DIR"))
        return std::string (runtime) + "/quellon-vbus.sock";

    return "/tmp/quellon-vbus-" + std::to_string (::getuid()) + ".sock";
}

} // namespace vunit
