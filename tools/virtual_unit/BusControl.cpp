#include "BusControl.h"

#include "Protocol/TransferChecksum.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vunit
{

namespace
{
// Parsing failures unwind to execute(), which answers "ERR <reason>"; they
// never leave this file.
struct CommandError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

std::vector<std::string> splitWords (const std::string& line)
{
    std::istringstream stream (line);
    std::vector<std::string> words;

    for (std::string word; stream >> word;)
        words.push_back (word);

    return words;
}

std::uint64_t parseNumber (const std::string& text, std::uint64_t max)
{
    try
    {
        std::size_t used = 0;
        const auto value = std::stoull (text, &used, 0);

        if (used == text.size() && value <= max)
            return value;
    }
    catch (const std::exception&)
    {
    }

    throw CommandError ("bad number: " + text);
}

Version parseVersion (const std::string& text)
{
    unsigned a, b, c;
    char end;

    if (std::sscanf (text.c_str(), "%u.%u.%u%c", &a, &b, &c, &end) != 3 || a > 255 || b > 255 || c > 255)
        throw CommandError ("bad version: " + text);

    return { (std::uint8_t) a, (std::uint8_t) b, (std::uint8_t) c, 0 };
}

std::string formatVersion (const Version& v)
{
    return std::to_string (v[0]) + "." + std::to_string (v[1]) + "." + std::to_string (v[2]);
}

std::string hex (std::uint64_t value, int digits)
{
    char text[24];
    std::snprintf (text, sizeof (text), "0x%0*llx", digits, (unsigned long long) value);
    return text;
}

std::string hexBytes (const std::uint8_t* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;

    for (std::size_t i = 0; i < count; ++i)
    {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }

    return text;
}

std::vector<std::uint8_t> parseHexBytes (const std::string& text)
{
    if (text.size() % 2 != 0)
        throw CommandError ("odd number of hex digits");

    std::vector<std::uint8_t> bytes;

    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes.push_back ((std::uint8_t) parseNumber ("0x" + text.substr (i, 2), 255));

    return bytes;
}

// key=value options after the fixed words.
std::map<std::string, std::string> options (const std::vector<std::string>& words, std::size_t first)
{
    std::map<std::string, std::string> result;

    for (std::size_t i = first; i < words.size(); ++i)
    {
        const auto equals = words[i].find ('=');

        if (equals == std::string::npos)
            throw CommandError ("expected key=value: " + words[i]);

        result[words[i].substr (0, equals)] = words[i].substr (equals + 1);
    }

    return result;
}

void applySetting (VirtualUnit::Settings& s, const std::string& key, const std::string& value)
{
    if (key == "vid")
        s.vendorId = (std::uint16_t) parseNumber (value, 0xFFFF);
    else if (key == "pid")
        s.productId = (std::uint16_t) parseNumber (value, 0xFFFF);
    else if (key == "serial")
        s.serial = value;
    else if (key == "system")
        s.system = parseVersion (value);
    else if (key == "dsp")
        s.dsp = parseVersion (value);
    else if (key == "subtype")
        s.subtype = value == "none" ? -1 : (int) parseNumber (value, 255);
    else if (key == "next-system")
        s.nextSystem = parseVersion (value);
    else if (key == "next-dsp")
        s.nextDsp = parseVersion (value);
    else if (key == "wire-us")
        s.wireTime = std::chrono::microseconds (parseNumber (value, 10'000'000));
    else if (key == "return-ms")
        s.returnDelay = std::chrono::milliseconds (parseNumber (value, 3'600'000));
    else if (key == "firmware-idle-ms")
        s.firmwareIdle = std::chrono::milliseconds (parseNumber (value, 3'600'000));
    else if (key == "frame-log")
        s.frameLogLimit = (std::size_t) parseNumber (value, 10'000'000);
    else
        throw CommandError ("unknown setting: " + key);
}

VirtualUnit::Fault::Kind faultKind (const std::string& name)
{
    using Kind = VirtualUnit::Fault::Kind;
    const std::pair<const char*, Kind> kinds[] = {
        { "nack", Kind::Nack },           { "silent", Kind::Silent },       { "short", Kind::Short },
        { "malformed", Kind::Malformed }, { "oversized", Kind::Oversized }, { "wrongtype", Kind::WrongType },
        { "custom", Kind::Custom },       { "vanish", Kind::Vanish },       { "replug", Kind::Replug },
    };

    for (auto& [text, kind] : kinds)
        if (name == text)
            return kind;

    throw CommandError ("unknown fault: " + name);
}

int slotOf (const std::vector<std::string>& words)
{
    if (words.size() < 3)
        throw CommandError ("missing slot");

    return (int) parseNumber (words[2], VirtualUnit::cabinetSlots - 1);
}

// The text behind the first `count` words of the line, one space dropped.
std::string restOfLine (const std::string& line, std::size_t count)
{
    std::size_t position = 0;

    for (std::size_t i = 0; i < count; ++i)
    {
        position = line.find_first_not_of (' ', position);
        position = line.find (' ', position);

        if (position == std::string::npos)
            return {};
    }

    return line.substr (position + 1);
}

const char* helpText =
    "plug ID [path=P] [SETTING=VALUE...]   add a unit or bring it back onto the bus\n"
    "unplug ID | remove ID | reset         take off the bus | forget | forget all\n"
    "replug ID [gap-ms=N]                  off the bus and back N ms later (default 0), same path\n"
    "list | status ID                      units on the bus | one unit's state\n"
    "set ID SETTING=VALUE...               vid pid serial system dsp subtype next-system\n"
    "                                      next-dsp wire-us return-ms firmware-idle-ms frame-log\n"
    "fault ID KIND [type=T] [at=K] [times=N] [reply=T] [report=HEX]\n"
    "                                      nack silent short malformed oversized wrongtype custom vanish\n"
    "                                      replug\n"
    "clear-faults ID | flood ID HEX|off\n"
    "serve-block ID KIND INDEX HEX|-       reads of that block send these bytes (- none)\n"
    "serve-block ID off                    the unit's own blocks again\n"
    "globals ID | set-global ID PARAM VALUE\n"
    "cabinet-name ID SLOT | set-cabinet-name ID SLOT NAME\n"
    "cabinet-words ID SLOT | set-cabinet-words ID SLOT WORD...\n"
    "firmware ID | save-firmware ID FILE\n"
    "frames ID [from=N] | clear-frames ID\n"
    "wait ID present|absent [timeout-ms=N]\n";
} // namespace

struct BusControl::Command
{
    const char* name;
    std::string (BusControl::*run) (const Words&, const std::string&);
};

BusControl::BusControl (VirtualBus& b) : bus (b)
{
}

std::string BusControl::execute (const std::string& line)
{
    try
    {
        return run (splitWords (line), line) + "OK\n";
    }
    catch (const std::exception& e)
    {
        std::string reason = e.what();

        for (auto& c : reason)
            if (c == '\n')
                c = ' ';

        return "ERR " + reason + "\n";
    }
}

std::string BusControl::run (const Words& words, const std::string& line)
{
    static const Command commands[] = {
        { "help", &BusControl::help },
        { "plug", &BusControl::plug },
        { "unplug", &BusControl::unplug },
        { "replug", &BusControl::replug },
        { "remove", &BusControl::remove },
        { "reset", &BusControl::reset },
        { "list", &BusControl::list },
        { "status", &BusControl::status },
        { "set", &BusControl::set },
        { "fault", &BusControl::fault },
        { "clear-faults", &BusControl::clearFaults },
        { "flood", &BusControl::flood },
        { "serve-block", &BusControl::serveBlock },
        { "globals", &BusControl::globals },
        { "set-global", &BusControl::setGlobal },
        { "cabinet-name", &BusControl::cabinetName },
        { "set-cabinet-name", &BusControl::setCabinetName },
        { "cabinet-words", &BusControl::cabinetWords },
        { "set-cabinet-words", &BusControl::setCabinetWords },
        { "firmware", &BusControl::firmware },
        { "save-firmware", &BusControl::saveFirmware },
        { "frames", &BusControl::frames },
        { "clear-frames", &BusControl::clearFrames },
        { "wait", &BusControl::wait },
    };

    if (words.empty())
        throw CommandError ("empty command");

    for (auto& command : commands)
        if (words[0] == command.name)
            return (this->*command.run) (words, line);

    throw CommandError ("unknown command: " + words[0]);
}

std::shared_ptr<VirtualUnit> BusControl::unitNamed (const Words& words)
{
    if (words.size() < 2)
        throw CommandError ("missing unit id");

    if (auto unit = bus.find (words[1]))
        return unit;

    throw CommandError ("no unit " + words[1]);
}

std::string BusControl::escape (const std::string& text)
{
    std::string result;

    for (unsigned char c : text)
    {
        if (c == '\\')
            result += "\\\\";
        else if (c >= 0x20 && c < 0x7F)
            result += (char) c;
        else
            result += "\\x" + hex (c, 2).substr (2);
    }

    return result;
}

std::string BusControl::unescape (const std::string& text)
{
    std::string result;

    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\\')
            result += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '\\')
            result += text[++i];
        else if (i + 3 < text.size() && text[i + 1] == 'x')
        {
            result += (char) parseNumber ("0x" + text.substr (i + 2, 2), 255);
            i += 3;
        }
        else
            throw CommandError ("bad escape in: " + text);
    }

    return result;
}

//==============================================================================
std::string BusControl::help (const Words&, const std::string&)
{
    return helpText;
}

std::string BusControl::plug (const Words& words, const std::string&)
{
    if (words.size() < 2)
        throw CommandError ("missing unit id");

    auto opts = options (words, 2);
    std::optional<std::string> path;

    if (opts.count ("path") != 0)
    {
        path = opts["path"];
        opts.erase ("path");
    }

    auto unit = bus.find (words[1]);
    auto settings = unit != nullptr ? unit->getSettings() : VirtualUnit::Settings();

    for (auto& [key, value] : opts)
        applySetting (settings, key, value);

    if (unit == nullptr)
    {
        if (bus.add (words[1], path.value_or (VirtualBus::defaultPath (words[1])), settings) == nullptr)
            throw CommandError ("unit " + words[1] + " was added meanwhile");

        return {};
    }

    unit->setSettings (settings);
    unit->plug (path);
    return {};
}

std::string BusControl::unplug (const Words& words, const std::string&)
{
    unitNamed (words)->unplug();
    return {};
}

std::string BusControl::replug (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    auto opts = options (words, 2);
    std::chrono::milliseconds gap { 0 };

    for (auto& [key, value] : opts)
    {
        if (key != "gap-ms")
            throw CommandError ("unknown option: " + key);

        gap = std::chrono::milliseconds (parseNumber (value, 3'600'000));
    }

    if (! unit->replug (gap))
        throw CommandError ("unit " + words[1] + " is not on the bus");

    return {};
}

std::string BusControl::remove (const Words& words, const std::string&)
{
    if (words.size() < 2 || ! bus.remove (words[1]))
        throw CommandError ("no such unit");

    return {};
}

std::string BusControl::reset (const Words&, const std::string&)
{
    bus.clear();
    return {};
}

std::string BusControl::list (const Words&, const std::string&)
{
    std::string text;

    for (auto& [id, unit] : bus.units())
    {
        const auto s = unit->getStatus();
        text += id + " " + (s.present ? "present " : "absent ") + s.path + " vid=" + hex (s.settings.vendorId, 4)
                + " pid=" + hex (s.settings.productId, 4) + "\n";
    }

    return text;
}

std::string BusControl::status (const Words& words, const std::string&)
{
    const auto s = unitNamed (words)->getStatus();
    const auto& set = s.settings;
    std::ostringstream out;

    out << "present=" << (s.present ? "yes" : "no") << "\n"
        << "path=" << s.path << "\n"
        << "vid=" << hex (set.vendorId, 4) << "\n"
        << "pid=" << hex (set.productId, 4) << "\n"
        << "serial=" << set.serial << "\n"
        << "system=" << formatVersion (set.system) << "\n"
        << "dsp=" << formatVersion (set.dsp) << "\n"
        << "subtype=" << (set.subtype < 0 ? std::string ("none") : std::to_string (set.subtype)) << "\n"
        << "next-system=" << (set.nextSystem ? formatVersion (*set.nextSystem) : std::string ("unchanged")) << "\n"
        << "next-dsp=" << formatVersion (set.nextDsp) << "\n"
        << "wire-us=" << set.wireTime.count() << "\n"
        << "return-ms=" << set.returnDelay.count() << "\n"
        << "firmware-idle-ms=" << set.firmwareIdle.count() << "\n"
        << "frames=" << s.framesReceived << "\n"
        << "firmware-bytes=" << s.firmwareBytes << "\n"
        << "firmware-updates=" << s.firmwareUpdates << "\n"
        << "receiving-firmware=" << (s.receivingFirmware ? "yes" : "no") << "\n"
        << "arrivals=" << s.arrivals << "\n"
        << "open-handles=" << s.openHandles << "\n"
        << "faults=" << s.armedFaults << "\n";
    return out.str();
}

std::string BusControl::set (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    auto settings = unit->getSettings();

    for (auto& [key, value] : options (words, 2))
        applySetting (settings, key, value);

    unit->setSettings (settings);
    return {};
}

std::string BusControl::fault (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);

    if (words.size() < 3)
        throw CommandError ("missing fault kind");

    VirtualUnit::Fault fault;
    fault.kind = faultKind (words[2]);

    for (auto& [key, value] : options (words, 3))
    {
        if (key == "type")
            fault.type = (int) parseNumber (value, 255);
        else if (key == "at")
            fault.at = (int) std::max<std::uint64_t> (1, parseNumber (value, 1'000'000'000));
        else if (key == "times")
            fault.times = (int) parseNumber (value, 1'000'000'000);
        else if (key == "reply")
            fault.replyType = (std::uint8_t) parseNumber (value, 255);
        else if (key == "report")
            fault.report = parseHexBytes (value);
        else
            throw CommandError ("unknown fault option: " + key);
    }

    unit->addFault (fault);
    return {};
}

std::string BusControl::clearFaults (const Words& words, const std::string&)
{
    unitNamed (words)->clearFaults();
    return {};
}

std::string BusControl::flood (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);

    if (words.size() < 3)
        throw CommandError ("missing report or off");

    unit->setFlood (words[2] == "off" ? std::vector<std::uint8_t>() : parseHexBytes (words[2]));
    return {};
}

std::string BusControl::serveBlock (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);

    if (words.size() == 3 && words[2] == "off")
    {
        unit->clearServedBlocks();
        return {};
    }

    if (words.size() != 5)
        throw CommandError ("usage: serve-block ID KIND INDEX HEX|-, or serve-block ID off");

    const auto kind = (std::uint8_t) parseNumber (words[2], 255);
    const auto index = (std::uint16_t) parseNumber (words[3], 0xFFFF);
    unit->serveBlock (kind, index, parseHexBytes (words[4] == "-" ? std::string() : words[4]));
    return {};
}

std::string BusControl::globals (const Words& words, const std::string&)
{
    std::string text;

    for (auto [parameter, value] : unitNamed (words)->getGlobals())
        text += hex (parameter, 8) + " " + hex (value, 8) + "\n";

    return text;
}

std::string BusControl::setGlobal (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);

    if (words.size() != 4)
        throw CommandError ("usage: set-global ID PARAM VALUE");

    unit->setGlobal ((std::uint32_t) parseNumber (words[2], 0xFFFFFFFF), (std::uint32_t) parseNumber (words[3], 0xFFFFFFFF));
    return {};
}

std::string BusControl::cabinetName (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    return escape (unit->getCabinet (slotOf (words)).name) + "\n";
}

std::string BusControl::setCabinetName (const Words& words, const std::string& line)
{
    auto unit = unitNamed (words);
    const int slot = slotOf (words);
    auto cabinet = unit->getCabinet (slot);
    cabinet.name = unescape (restOfLine (line, 3));
    unit->setCabinet (slot, cabinet);
    return {};
}

std::string BusControl::cabinetWords (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    const auto cabinet = unit->getCabinet (slotOf (words));
    std::string text;

    for (std::size_t i = 0; i < cabinet.words.size(); ++i)
        text += hex (cabinet.words[i], 8) + ((i % 8 == 7) ? "\n" : " ");

    return text;
}

std::string BusControl::setCabinetWords (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    const int slot = slotOf (words);
    auto cabinet = unit->getCabinet (slot);

    if (words.size() - 3 > cabinet.words.size())
        throw CommandError ("too many words");

    cabinet.words.fill (0);

    for (std::size_t i = 3; i < words.size(); ++i)
        cabinet.words[i - 3] = (std::uint32_t) parseNumber (words[i], 0xFFFFFFFF);

    unit->setCabinet (slot, cabinet);
    return {};
}

std::string BusControl::firmware (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    const auto image = unit->getFirmware();
    std::uint16_t sum = 0;
    Korvalune::updateChecksum (sum, image.data(), (std::uint32_t) image.size());

    return "size=" + std::to_string (image.size()) + "\nchecksum=" + hex (sum, 4)
           + "\nupdates=" + std::to_string (unit->getStatus().firmwareUpdates) + "\n";
}

std::string BusControl::saveFirmware (const Words& words, const std::string& line)
{
    auto unit = unitNamed (words);
    const auto file = restOfLine (line, 2);

    if (file.empty())
        throw CommandError ("missing file");

    const auto image = unit->getFirmware();
    std::ofstream out (file, std::ios::binary | std::ios::trunc);
    out.write ((const char*) image.data(), (std::streamsize) image.size());

    if (! out)
        throw CommandError ("cannot write " + file);

    return {};
}

std::string BusControl::frames (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);
    auto opts = options (words, 2);
    const auto from = opts.count ("from") != 0 ? parseNumber (opts["from"], UINT64_MAX) : 1;
    std::string text;

    for (auto& frame : unit->getFrames (from))
        text += std::to_string (frame.number) + " " + hexBytes (frame.bytes.data(), frame.length) + "\n";

    return text;
}

std::string BusControl::clearFrames (const Words& words, const std::string&)
{
    unitNamed (words)->clearFrames();
    return {};
}

std::string BusControl::wait (const Words& words, const std::string&)
{
    auto unit = unitNamed (words);

    if (words.size() < 3 || (words[2] != "present" && words[2] != "absent"))
        throw CommandError ("usage: wait ID present|absent [timeout-ms=N]");

    auto opts = options (words, 3);
    const auto timeout = opts.count ("timeout-ms") != 0 ? parseNumber (opts["timeout-ms"], 3'600'000) : 10000;

    if (! unit->waitForPresence (words[2] == "present", Clock::now() + std::chrono::milliseconds (timeout)))
        throw CommandError ("timed out");

    return {};
}

} // namespace vunit
