// Makes the DSP firmware placeholder, a ".ldr" file of 55,636 bytes:
//   quellon_firmware_generator <file>
// The output is committed under Resources/Firmware. It is no firmware: a unit
// cannot run it. Tests build it in as their editor's firmware, so that the
// update path is tested end to end; the editor itself carries only the image
// the CMake cache variable QUELLON_FIRMWARE_IMAGE names, or none.
//
// The file opens with a banner that says so, readable in the file; the rest is
// a fixed pseudo-random sequence, so every byte value travels and a transfer
// that drops, repeats or reorders a block shows in its checksum.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
constexpr std::size_t imageSize = 55636;

const char banner[] = "QUELLON EDITOR BUILT-IN DSP IMAGE: PLACEHOLDER, NOT FIRMWARE.\n"
                      "Made by tools/resources/FirmwareGenerator.cpp so that the update path can be\n"
                      "built and tested. Build with QUELLON_FIRMWARE_IMAGE set to ship a real image.\n";

std::vector<std::uint8_t> placeholderImage()
{
    std::vector<std::uint8_t> image (imageSize);
    std::memcpy (image.data(), banner, sizeof (banner) - 1);

    // xorshift32: small, fixed and the same everywhere.
    std::uint32_t state = 0x51E11017u;

    for (auto i = sizeof (banner) - 1; i < imageSize; ++i)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = (std::uint8_t) (state >> 24);
    }

    return image;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s <file>\n", argv[0]);
        return 2;
    }

    const auto image = placeholderImage();
    auto* file = std::fopen (argv[1], "wb");

    if (file == nullptr)
    {
        std::fprintf (stderr, "cannot write %s\n", argv[1]);
        return 1;
    }

    const bool written = std::fwrite (image.data(), 1, image.size(), file) == image.size();
    const bool closed = std::fclose (file) == 0;

    if (!written || !closed)
    {
        std::fprintf (stderr, "cannot write %s\n", argv[1]);
        return 1;
    }

    return 0;
}
