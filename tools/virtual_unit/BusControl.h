#pragma once

#include "VirtualBus.h"

#include <map>
#include <string>
#include <vector>

namespace vunit
{

// The control language of a virtual bus: one command per line, answered by
// zero or more lines of data and a last line "OK" or "ERR <reason>". The
// shim serves it on its control socket; tests may call it directly.
// `execute("help")` lists the commands.
//
// Threads: any; the bus and units do their own locking.
class BusControl
{
public:
    explicit BusControl (VirtualBus& bus);

    std::string execute (const std::string& line);

    // Names are printed with C-like escapes (\\ and \xNN for bytes outside
    // printable ASCII) and read back the same way.
    static std::string escape (const std::string& text);
    static std::string unescape (const std::string& text);

private:
    struct Command;
    using Words = std::vector<std::string>;

    std::string run (const Words& words, const std::string& line);
    std::shared_ptr<VirtualUnit> unitNamed (const Words& words);

    std::string help (const Words&, const std::string&);
    std::string plug (const Words&, const std::string&);
    std::string unplug (const Words&, const std::string&);
    std::string replug (const Words&, const std::string&);
    std::string remove (const Words&, const std::string&);
    std::string reset (const Words&, const std::string&);
    std::string list (const Words&, const std::string&);
    std::string status (const Words&, const std::string&);
    std::string set (const Words&, const std::string&);
    std::string fault (const Words&, const std::string&);
    std::string clearFaults (const Words&, const std::string&);
    std::string flood (const Words&, const std::string&);
    std::string serveBlock (const Words&, const std::string&);
    std::string globals (const Words&, const std::string&);
    std::string setGlobal (const Words&, const std::string&);
    std::string cabinetName (const Words&, const std::string&);
    std::string setCabinetName (const Words&, const std::string&);
    std::string cabinetWords (const Words&, const std::string&);
    std::string setCabinetWords (const Words&, const std::string&);
    std::string firmware (const Words&, const std::string&);
    std::string saveFirmware (const Words&, const std::string&);
    std::string frames (const Words&, const std::string&);
    std::string clearFrames (const Words&, const std::string&);
    std::string wait (const Words&, const std::string&);

    VirtualBus& bus;
};

} // namespace vunit
