#include "BuiltInFirmware.h"

#include "Embedded/builtInFirmwareImage.h"

const void* BuiltInFirmware::getData()
{
    return Embedded::builtInFirmwareImage;
}

std::size_t BuiltInFirmware::getSize()
{
    return Embedded::builtInFirmwareImageSize;
}
