#include "Widgets/ProgramResource.h"

#include "Embedded/imagePack.h"

ProgramResource lockProgramResource (int resourceId)
{
    if (resourceId == imagePackResourceId)
        return { Embedded::imagePack, Embedded::imagePackSize };

    return {};
}
