// A plain hidapi program, linked against the real hidapi, for the shim's
// preload test. It answers one command per line on standard input:
//   list           one line per HID device: path, vendor id, product id
//   version PATH   asks the unit at PATH for its versions and prints them
//   quit
#include <hidapi.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

namespace
{
void list()
{
    hid_device_info* devices = hid_enumerate (0, 0);

    for (auto* d = devices; d != nullptr; d = d->next)
        std::printf ("%s %04x %04x\n", d->path, d->vendor_id, d->product_id);

    hid_free_enumeration (devices);
    std::printf ("end\n");
}

void version (const std::string& path)
{
    hid_device* device = hid_open_path (path.c_str());

    if (device == nullptr)
    {
        std::printf ("cannot open %s\n", path.c_str());
        return;
    }

    const unsigned char request[] = { 0x00, 0xB5, 0x00 };
    unsigned char reply[64] = {};
    const int written = hid_write (device, request, sizeof (request));
    const int read = hid_read_timeout (device, reply, sizeof (reply), 5000);
    hid_close (device);

    if (written != (int) sizeof (request) || read < 10 || reply[0] != 0xC0 || reply[2] != 0xB5)
    {
        std::printf ("no version (wrote %d, read %d)\n", written, read);
        return;
    }

    std::printf ("system %d.%d.%d dsp %d.%d.%d\n", reply[3], reply[4], reply[5], reply[6], reply[7], reply[8]);
}
} // namespace

int main()
{
    std::setvbuf (stdout, nullptr, _IOLBF, 0);

    for (std::string line; std::getline (std::cin, line);)
    {
        std::istringstream words (line);
        std::string command, argument;
        words >> command >> argument;

        if (command == "list")
            list();
        else if (command == "version")
            version (argument);
        else if (command == "quit")
            break;
    }

    return 0;
}
