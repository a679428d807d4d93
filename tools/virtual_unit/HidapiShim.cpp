// hidapi's entry points over a bus of virtual units. Preloaded into a
// program that uses hidapi (or linked into a test in place of hidapi), it
// makes the program see the virtual units as HID devices. The bus is driven
// through its control socket or, in-process, through quellon_vbus_command.
//
// Environment:
//   QUELLON_VBUS_SOCKET  Linux: control socket path ("none": no socket); default
//                        $XDG_RUNTIME_DIR/quellon-vbus.sock, else /tmp/quellon-vbus-<uid>.sock
//   QUELLON_VBUS_PORT    Windows: the control channel's TCP port on 127.0.0.1;
//                        unset: no channel
//   QUELLON_VBUS_INIT    commands run at start-up, separated by ';'

#include "BusControl.h"
#include "ControlServer.h"
#include "VirtualBus.h"

#include <hidapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>

#define SHIM_EXPORT extern "C" __attribute__ ((visibility ("default")))

struct hid_device_
{
    std::unique_ptr<vunit::VirtualUnitDevice> device;
    hid_device_info* info = nullptr;
    bool nonBlocking = false;

    // The read thread and a writer may both fail at once when the unit goes.
    std::mutex errorMutex;
    std::wstring lastError;
};

namespace
{
struct Shim
{
    vunit::VirtualBus bus;
    vunit::BusControl control { bus };
    std::unique_ptr<vunit::ControlServer> server;
};

void runInitCommands (Shim& shim)
{
    const char* init = std::getenv ("QUELLON_VBUS_INIT");

    if (init == nullptr)
        return;

    std::string commands = init;
    std::size_t start = 0;

    while (start <= commands.size())
    {
        auto end = commands.find (';', start);
        end = end == std::string::npos ? commands.size() : end;
        const auto command = commands.substr (start, end - start);

        if (command.find_first_not_of (" \t") != std::string::npos)
        {
            const auto reply = shim.control.execute (command);

            if (reply.rfind ("ERR", 0) == 0 || reply.find ("\nERR") != std::string::npos)
                std::fprintf (stderr, "vbus: %s: %s", command.c_str(), reply.c_str());
        }

        start = end + 1;
    }
}

std::atomic<Shim*> startedShim { nullptr };

// Made on first use and never destroyed: hidapi may be called from threads
// that outlive static destruction.
Shim& shim()
{
    static Shim* instance = [] {
        auto* s = new Shim();
        runInitCommands (*s);
        const auto path = vunit::ControlChannel::defaultAddress();

        if (path != "none")
        {
            s->server = std::make_unique<vunit::ControlServer> (s->control, path);

            if (! s->server->isRunning())
                std::fprintf (stderr, "vbus: no control socket: %s\n", s->server->getError().c_str());
        }

        startedShim = s;
        return s;
    }();

    return *instance;
}

// The socket file goes with the process; the server thread simply ends with it.
__attribute__ ((destructor)) void removeSocketFile()
{
    if (auto* s = startedShim.load(); s != nullptr && s->server != nullptr && s->server->isRunning())
        s->server->removeEndpoint();
}

wchar_t* copyWide (const std::string& text)
{
    auto* wide = (wchar_t*) std::calloc (text.size() + 1, sizeof (wchar_t));

    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = (wchar_t) (unsigned char) text[i];

    return wide;
}

hid_device_info* makeInfo (const vunit::VirtualBus::Entry& entry)
{
    auto* info = (hid_device_info*) std::calloc (1, sizeof (hid_device_info));
    info->path = strdup (entry.path.c_str());
    info->vendor_id = entry.vendorId;
    info->product_id = entry.productId;
    info->serial_number = copyWide (entry.serial);
    info->release_number = 0x0100;
    info->manufacturer_string = copyWide ("Korvalune");
    info->product_string = copyWide ("Quellon (virtual)");
    info->usage_page = 0xFF00;
    info->usage = 0x0001;
    info->interface_number = 0;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo (hid_device_info* info)
{
    std::free (info->path);
    std::free (info->serial_number);
    std::free (info->manufacturer_string);
    std::free (info->product_string);
    std::free (info);
}

int copyString (const wchar_t* text, wchar_t* out, size_t maxLength)
{
    if (out == nullptr || maxLength == 0)
        return -1;

    std::wcsncpy (out, text, maxLength);
    out[maxLength - 1] = L'\0';
    return 0;
}

bool matches (const vunit::VirtualBus::Entry& entry, unsigned short vendorId, unsigned short productId)
{
    return (vendorId == 0 || entry.vendorId == vendorId) && (productId == 0 || entry.productId == productId);
}

hid_device* openEntry (const vunit::VirtualBus::Entry& entry)
{
    auto device = shim().bus.open (entry.path);

    if (device == nullptr)
        return nullptr;

    auto* handle = new hid_device_();
    handle->device = std::move (device);
    handle->info = makeInfo (entry);
    return handle;
}

int failed (hid_device* dev, const wchar_t* message)
{
    if (dev != nullptr)
    {
        std::lock_guard<std::mutex> lock (dev->errorMutex);
        dev->lastError = message;
    }

    return -1;
}
} // namespace

SHIM_EXPORT int quellon_vbus_command (const char* line, char* reply, size_t replySize)
{
    const auto answer = shim().control.execute (line != nullptr ? line : "");

    if (reply != nullptr && replySize > 0)
    {
        std::strncpy (reply, answer.c_str(), replySize);
        reply[replySize - 1] = '\0';
    }

    const std::string ok = "OK\n";
    const bool succeeded = answer.size() >= ok.size() && answer.compare (answer.size() - ok.size(), ok.size(), ok) == 0;
    return succeeded ? 0 : 1;
}

SHIM_EXPORT int hid_init()
{
    (void) shim();
    return 0;
}

SHIM_EXPORT int hid_exit()
{
    return 0;
}

SHIM_EXPORT hid_device_info* hid_enumerate (unsigned short vendorId, unsigned short productId)
{
    hid_device_info* first = nullptr;
    hid_device_info** link = &first;

    for (auto& entry : shim().bus.enumerate())
    {
        if (! matches (entry, vendorId, productId))
            continue;

        *link = makeInfo (entry);
        link = &(*link)->next;
    }

    return first;
}

SHIM_EXPORT void hid_free_enumeration (hid_device_info* devices)
{
    while (devices != nullptr)
    {
        auto* next = devices->next;
        freeInfo (devices);
        devices = next;
    }
}

SHIM_EXPORT hid_device* hid_open (unsigned short vendorId, unsigned short productId, const wchar_t* serial)
{
    for (auto& entry : shim().bus.enumerate())
    {
        if (! matches (entry, vendorId, productId))
            continue;

        if (serial != nullptr)
        {
            auto* wide = copyWide (entry.serial);
            const bool same = std::wcscmp (wide, serial) == 0;
            std::free (wide);

            if (! same)
                continue;
        }

        return openEntry (entry);
    }

    return nullptr;
}

SHIM_EXPORT hid_device* hid_open_path (const char* path)
{
    if (path == nullptr)
        return nullptr;

    for (auto& entry : shim().bus.enumerate())
        if (entry.path == path)
            return openEntry (entry);

    return nullptr;
}

SHIM_EXPORT int hid_write (hid_device* dev, const unsigned char* data, size_t length)
{
    if (dev == nullptr || data == nullptr)
        return -1;

    const int written = dev->device->write (data, length);
    return written < 0 ? failed (dev, L"the unit is not on the bus") : written;
}

SHIM_EXPORT int hid_read_timeout (hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    if (dev == nullptr || data == nullptr)
        return -1;

    const int count = dev->device->read (data, length, milliseconds);
    return count < 0 ? failed (dev, L"the unit is not on the bus") : count;
}

SHIM_EXPORT int hid_read (hid_device* dev, unsigned char* data, size_t length)
{
    return hid_read_timeout (dev, data, length, dev != nullptr && dev->nonBlocking ? 0 : -1);
}

SHIM_EXPORT int hid_set_nonblocking (hid_device* dev, int nonBlock)
{
    if (dev == nullptr)
        return -1;

    dev->nonBlocking = nonBlock != 0;
    return 0;
}

// The unit has no feature reports and no input reports to poll.
SHIM_EXPORT int hid_send_feature_report (hid_device* dev, const unsigned char*, size_t)
{
    return failed (dev, L"no feature reports");
}

SHIM_EXPORT int hid_get_feature_report (hid_device* dev, unsigned char*, size_t)
{
    return failed (dev, L"no feature reports");
}

SHIM_EXPORT int hid_get_input_report (hid_device* dev, unsigned char*, size_t)
{
    return failed (dev, L"no input reports to poll");
}

SHIM_EXPORT void hid_close (hid_device* dev)
{
    if (dev == nullptr)
        return;

    dev->device->close();
    freeInfo (dev->info);
    delete dev;
}

SHIM_EXPORT int hid_get_manufacturer_string (hid_device* dev, wchar_t* string, size_t maxLength)
{
    return dev != nullptr ? copyString (dev->info->manufacturer_string, string, maxLength) : -1;
}

SHIM_EXPORT int hid_get_product_string (hid_device* dev, wchar_t* string, size_t maxLength)
{
    return dev != nullptr ? copyString (dev->info->product_string, string, maxLength) : -1;
}

SHIM_EXPORT int hid_get_serial_number_string (hid_device* dev, wchar_t* string, size_t maxLength)
{
    return dev != nullptr ? copyString (dev->info->serial_number, string, maxLength) : -1;
}

SHIM_EXPORT hid_device_info* hid_get_device_info (hid_device* dev)
{
    return dev != nullptr ? dev->info : nullptr;
}

SHIM_EXPORT int hid_get_indexed_string (hid_device* dev, int, wchar_t*, size_t)
{
    return failed (dev, L"no indexed strings");
}

SHIM_EXPORT const wchar_t* hid_error (hid_device* dev)
{
    if (dev == nullptr)
        return L"virtual bus";

    std::lock_guard<std::mutex> lock (dev->errorMutex);
    return dev->lastError.empty() ? L"Success" : dev->lastError.c_str();
}

SHIM_EXPORT const hid_api_version* hid_version()
{
    static const hid_api_version version { HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH };
    return &version;
}

SHIM_EXPORT const char* hid_version_str()
{
    return HID_API_VERSION_STR;
}
