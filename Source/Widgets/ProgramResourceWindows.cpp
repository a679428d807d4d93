#include "Widgets/ProgramResource.h"

#include "Protocol/Result.h"

#include <windows.h>

ProgramResource lockProgramResource (int resourceId)
{
    // No module: the executable this process was started from. Type 10 is
    // RT_RCDATA, spelt out because RT_RCDATA follows the UNICODE setting.
    const HRSRC info = FindResourceA (nullptr, MAKEINTRESOURCEA (resourceId), MAKEINTRESOURCEA (10));

    if (info == nullptr)
    {
        (void) KORVALUNE_ERROR ("The program carries no resource %d (error %lu)", resourceId, GetLastError());
        return {};
    }

    const HGLOBAL loaded = LoadResource (nullptr, info);
    const void* data = loaded != nullptr ? LockResource (loaded) : nullptr;

    if (data == nullptr)
    {
        (void) KORVALUNE_ERROR ("Resource %d of the program cannot be loaded (error %lu)", resourceId, GetLastError());
        return {};
    }

    return { data, (std::size_t) SizeofResource (nullptr, info) };
}
