#include "BuiltInFirmware.h"

// A build without a firmware image: nothing a unit could be sent.
const void* BuiltInFirmware::getData()
{
    return nullptr;
}

std::size_t BuiltInFirmware::getSize()
{
    return 0;
}
