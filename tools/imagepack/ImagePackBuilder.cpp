// Packs PNG files into one image-pack block, in the order given:
//   quellon_image_pack_builder <output> <file.png>...
// Each file is stored under its own name without folders. A file that is not
// an 8-bit PNG stops the build, so a broken skin never reaches the program.
#include "Widgets/ImagePackFormat.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
const unsigned char pngSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };

bool readWholeFile (const std::string& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in (path, std::ios::binary);
    if (! in)
        return false;

    bytes.assign (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    return ! in.bad();
}

// The signature, then the IHDR chunk first, with a bit depth of 8.
bool isEightBitPng (const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() >= 33 && std::memcmp (bytes.data(), pngSignature, 8) == 0
           && std::memcmp (bytes.data() + 12, "IHDR", 4) == 0 && bytes[24] == 8;
}

std::string baseName (const std::string& path)
{
    const auto slash = path.find_last_of ("/\\");
    return slash == std::string::npos ? path : path.substr (slash + 1);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf (stderr, "usage: %s <output> <file.png>...\n", argv[0]);
        return 2;
    }

    std::vector<PackFile> files;

    for (int i = 2; i < argc; ++i)
    {
        PackFile file { baseName (argv[i]), {} };

        if (! readWholeFile (argv[i], file.body))
        {
            std::fprintf (stderr, "cannot read %s\n", argv[i]);
            return 1;
        }

        if (! isEightBitPng (file.body))
        {
            std::fprintf (stderr, "%s is not an 8-bit PNG file\n", argv[i]);
            return 1;
        }

        files.push_back (std::move (file));
    }

    const auto block = writePack (files);
    const std::string temporary = std::string (argv[1]) + ".tmp";

    {
        std::ofstream out (temporary, std::ios::binary | std::ios::trunc);
        out.write (reinterpret_cast<const char*> (block.data()), (std::streamsize) block.size());
        if (! out.flush())
        {
            std::fprintf (stderr, "cannot write %s\n", temporary.c_str());
            return 1;
        }
    }

    if (std::rename (temporary.c_str(), argv[1]) != 0)
    {
        std::fprintf (stderr, "cannot move %s into place\n", temporary.c_str());
        return 1;
    }

    return 0;
}
