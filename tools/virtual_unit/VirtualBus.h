#pragma once

#include "VirtualUnit.h"
#include "VirtualUnitDevice.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vunit
{

// The units a process can see, each known by a short id. Enumeration lists
// the units on the bus in the order they were added, as hidapi lists devices.
//
// Owns: the units (shared with the handles open on them).
// Threads: any; `mutex` guards the list only: units are asked after it is
// released, so it never nests with a unit's lock.
class VirtualBus
{
public:
    struct Entry
    {
        std::string id;
        std::string path;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::string serial;
    };

    static std::string defaultPath (const std::string& id) { return "virtual:" + id; }

    // Null when the id is taken.
    std::shared_ptr<VirtualUnit> add (const std::string& id, const std::string& path, VirtualUnit::Settings settings);
    std::shared_ptr<VirtualUnit> find (const std::string& id) const;
    // Takes the unit off the bus and forgets it; its open handles die.
    bool remove (const std::string& id);
    void clear();

    std::vector<std::pair<std::string, std::shared_ptr<VirtualUnit>>> units() const;
    std::vector<Entry> enumerate() const;

    // The unit on the bus under `path`, or null.
    std::shared_ptr<VirtualUnit> findByPath (const std::string& path) const;
    // An open handle on the unit under `path`, or null.
    std::unique_ptr<VirtualUnitDevice> open (const std::string& path) const;

private:
    mutable std::mutex mutex;
    std::vector<std::pair<std::string, std::shared_ptr<VirtualUnit>>> list;
};

} // namespace vunit
