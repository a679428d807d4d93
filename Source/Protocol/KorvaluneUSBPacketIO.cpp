#include "Protocol/KorvaluneUSBPacketIO.h"

#include <algorithm>
#include <cstring>

namespace Korvalune
{

KorvaluneUSBPacketIO::KorvaluneUSBPacketIO (IUSBHIDDevice* d, int timeoutMs)
    : device (d), readTimeoutMs (timeoutMs)
{
    start();
}

KorvaluneUSBPacketIO::~KorvaluneUSBPacketIO()
{
    stop();
}

Result KorvaluneUSBPacketIO::setHandler (Handler* newHandler)
{
    std::lock_guard<std::mutex> lock (mutex);
    handler = newHandler;

    if (handler != nullptr)
        handler->handleLinkState (linkState);

    return okResult;
}

Result KorvaluneUSBPacketIO::writePacket (const std::uint8_t* data, unsigned length)
{
    if (length > maxMessageLength)
        return KORVALUNE_ERROR ("Packet too large");

    std::uint8_t report[maxMessageLength + 1];
    report[0] = 0x00;
    std::memcpy (report + 1, data, length);

    int written;
    {
        std::lock_guard<std::mutex> lock (mutex);
        written = device->write (report, length + 1);
    }

    if (written < 0)
    {
        deadHandle = true;
        return KORVALUNE_ERROR ("hid_write failed with %d", written);
    }

    if ((unsigned) written < length + 1)
        return KORVALUNE_ERROR ("hid_write incomplete");

    return okResult;
}

void KorvaluneUSBPacketIO::start()
{
    std::lock_guard<std::mutex> lock (mutex);

    if (running || readThread.joinable())
        return;

    running = true;
    readThread = std::thread ([this] { readLoop(); });
}

void KorvaluneUSBPacketIO::stop()
{
    {
        std::lock_guard<std::mutex> lock (mutex);
        running = false;
    }

    if (readThread.joinable())
        readThread.join();
}

void KorvaluneUSBPacketIO::reportLinkState (int state)
{
    std::lock_guard<std::mutex> lock (mutex);
    linkState = state;

    if (handler != nullptr)
        handler->handleLinkState (state);
}

void KorvaluneUSBPacketIO::readLoop()
{
    reportLinkState (LinkUp);

    std::uint8_t buffer[maxMessageLength];

    while (running)
    {
        const int count = device->read (buffer, sizeof (buffer), readTimeoutMs);

        if (count < 0)
        {
            (void) KORVALUNE_ERROR ("HID read error: %d", count);
            reportReadError();
            return;
        }

        if (count == 0)
            continue;

        // A device never hands back more than it was asked for; a faulty one
        // must not make the handler read past the buffer either.
        const auto length = std::min ((unsigned) count, maxMessageLength);

        std::lock_guard<std::mutex> lock (mutex);

        if (handler != nullptr)
            handler->handlePacket (buffer, length);
    }

    reportLinkState (LinkDown);
}

void KorvaluneUSBPacketIO::reportReadError()
{
    deadHandle = true;
    std::lock_guard<std::mutex> lock (mutex);
    linkState = LinkError;

    if (handler != nullptr)
        handler->handleLinkState (LinkError);

    running = false;
}

} // namespace Korvalune
