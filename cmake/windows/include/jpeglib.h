// JUCE includes <jpeglib.h> inside a namespace of its own and names
// jpeglibNamespace::boolean. With <windows.h> already in, libjpeg's jconfig.h
// leaves out its own typedef of boolean (the system's is global), so the name
// is brought into the namespace here.
#include_next <jpeglib.h>
using ::boolean;
