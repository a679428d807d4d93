// Arbitrary reports delivered to the protocol while its requests wait: each
// message an operation writes is answered, before the write returns, with
// the reports the input gives. Nothing the unit sends may crash, hang, read
// past its report or make a request wait for ever.

#include "ProtocolScript.h"
#include "Protocol/KorvaluneProtocol.h"
#include "Protocol/Log.h"

#include <cstring>
#include <vector>

using namespace Korvalune;

namespace
{
class ScriptedTransport : public IDevicePacketIO
{
public:
    ScriptedTransport (const std::uint8_t* data, std::size_t size) : cursor (data), end (data + size) {}

    Result setHandler (Handler* newHandler) override
    {
        handler = newHandler;

        if (handler != nullptr)
            handler->handleLinkState (LinkUp);

        return okResult;
    }

    Result writePacket (const std::uint8_t*, unsigned length) override
    {
        if (length > 64)
            __builtin_trap();

        while (cursor < end && handler != nullptr)
        {
            const std::uint8_t event = *cursor++;

            if (event == ProtocolScript::endOfReplies)
                break;

            if (event == ProtocolScript::linkState)
            {
                if (cursor < end)
                    handler->handleLinkState (*cursor++);

                continue;
            }

            // Each report in a buffer of its own size, so reading past it is caught.
            const auto count = std::min<std::size_t> (event % 65, (std::size_t) (end - cursor));
            std::vector<std::uint8_t> report (cursor, cursor + count);
            cursor += count;
            handler->handlePacket (report.data(), (unsigned) report.size());
        }

        return okResult;
    }

private:
    const std::uint8_t* cursor;
    const std::uint8_t* const end;
    Handler* handler = nullptr;
};

void run (KorvaluneProtocol& protocol, ProtocolScript::Operation operation, std::uint8_t size)
{
    using namespace ProtocolScript;
    KorvaluneData::ParamMap params;
    std::vector<std::uint32_t> words (1024, 0x3F800000);
    std::string name;
    KorvaluneData::DeviceVersionInfo info;
    bool accepted = false;

    switch (operation)
    {
        case getGlobals:
            (void) protocol.getGlobals (params);

            if (params.size() > KorvaluneData::paramBlockEntries)
                __builtin_trap();

            break;

        case getCabinetData: (void) protocol.getCabinetData (size % 3, words.data()); break;
        case getCabinetName: (void) protocol.getCabinetName (size % 3, name); break;

        case setGlobals:
            for (std::uint32_t i = 0; i < size % 130u; ++i)
                params[0x200 + i] = i;

            (void) protocol.setGlobals (params);
            break;

        case setCabinetName: (void) protocol.setCabinetName (1, std::string (size, 'n')); break;

        case updateFirmware:
            (void) protocol.updateFirmware (std::vector<std::uint8_t> (size * 7u, 0x5A), [] (double progress) {
                if (! (progress > 0.0 && progress <= 1.0))
                    __builtin_trap();
            });
            break;

        case requestVersion: (void) protocol.requestVersion (info); break;
        case requestConnection: (void) protocol.requestConnection (accepted); break;
        case operationCount: break;
    }

    if (name.size() > 255)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    setLogSink ([] (void*, const char*) {}, nullptr);

    if (size < 2)
        return 0;

    const auto operation = (ProtocolScript::Operation) (data[0] % ProtocolScript::operationCount);
    ScriptedTransport transport (data + 2, size - 2);

    // No time to wait: a request without its reply times out at once.
    KorvaluneProtocol protocol (&transport, { 0, 0 });
    run (protocol, operation, data[1]);

    // Whatever happened, the protocol still answers a well-behaved request.
    protocol.clearError();
    protocol.handleLinkState (LinkUp);
    (void) protocol.setParameter (0x200, 0);
    return 0;
}
