#pragma once

#include <cstdint>
#include <vector>

// The input of the protocol fuzzer: which operation to run, then what the
// "unit" answers each message the operation writes.
//
//   byte 0          the operation (modulo operationCount)
//   byte 1          a size for the operations that send data
//   then events:    n (0 to 64)  a report of the next n bytes
//                   endOfReplies  no more reports for this message
//                   linkState s   the transport reports link state s
namespace ProtocolScript
{

enum Operation : std::uint8_t
{
    getGlobals,
    getCabinetData,
    getCabinetName,
    setGlobals,
    setCabinetName,
    updateFirmware,
    requestVersion,
    requestConnection,
    operationCount
};

inline constexpr std::uint8_t endOfReplies = 0xFE;
inline constexpr std::uint8_t linkState = 0xFF;

// Appends one reply report followed by the end of this message's replies.
inline void addReply (std::vector<std::uint8_t>& script, std::vector<std::uint8_t> report)
{
    script.push_back ((std::uint8_t) report.size());
    script.insert (script.end(), report.begin(), report.end());
    script.push_back (endOfReplies);
}

} // namespace ProtocolScript
