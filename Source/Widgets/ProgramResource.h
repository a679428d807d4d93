#pragma once

#include <cstddef>

// One block of data that the program carries inside itself.
struct ProgramResource
{
    const void* data = nullptr;
    std::size_t size = 0;
};

// The image pack's resource number.
inline constexpr int imagePackResourceId = 678;

// Finds one of the program's own resources by number and gives its address
// and size; the block lives as long as the program. An unknown number gives
// an empty resource.
ProgramResource lockProgramResource (int resourceId);
