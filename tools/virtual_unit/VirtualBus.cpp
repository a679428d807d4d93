#include "VirtualBus.h"

#include <algorithm>

namespace vunit
{

std::shared_ptr<VirtualUnit> VirtualBus::add (const std::string& id, const std::string& path,
                                              VirtualUnit::Settings settings)
{
    std::lock_guard<std::mutex> lock (mutex);

    for (auto& entry : list)
        if (entry.first == id)
            return nullptr;

    auto unit = std::make_shared<VirtualUnit> (path, std::move (settings));
    list.emplace_back (id, unit);
    return unit;
}

std::shared_ptr<VirtualUnit> VirtualBus::find (const std::string& id) const
{
    std::lock_guard<std::mutex> lock (mutex);

    for (auto& entry : list)
        if (entry.first == id)
            return entry.second;

    return nullptr;
}

bool VirtualBus::remove (const std::string& id)
{
    std::shared_ptr<VirtualUnit> unit;
    {
        std::lock_guard<std::mutex> lock (mutex);
        auto it = std::find_if (list.begin(), list.end(), [&] (auto& entry) { return entry.first == id; });

        if (it == list.end())
            return false;

        unit = it->second;
        list.erase (it);
    }

    unit->unplug();
    return true;
}

void VirtualBus::clear()
{
    std::vector<std::pair<std::string, std::shared_ptr<VirtualUnit>>> old;
    {
        std::lock_guard<std::mutex> lock (mutex);
        old.swap (list);
    }

    for (auto& entry : old)
        entry.second->unplug();
}

std::vector<std::pair<std::string, std::shared_ptr<VirtualUnit>>> VirtualBus::units() const
{
    std::lock_guard<std::mutex> lock (mutex);
    return list;
}

std::vector<VirtualBus::Entry> VirtualBus::enumerate() const
{
    std::vector<Entry> entries;

    for (auto& [id, unit] : units())
    {
        const auto status = unit->getStatus();

        if (status.present)
            entries.push_back ({ id, status.path, status.settings.vendorId, status.settings.productId,
                                 status.settings.serial });
    }

    return entries;
}

std::shared_ptr<VirtualUnit> VirtualBus::findByPath (const std::string& path) const
{
    for (auto& entry : units())
    {
        const auto status = entry.second->getStatus();

        if (status.present && status.path == path)
            return entry.second;
    }

    return nullptr;
}

std::unique_ptr<VirtualUnitDevice> VirtualBus::open (const std::string& path) const
{
    auto unit = findByPath (path);

    if (unit == nullptr)
        return nullptr;

    auto device = std::make_unique<VirtualUnitDevice> (unit);
    return device->isOpen() ? std::move (device) : nullptr;
}

} // namespace vunit
