# What the Windows build links besides the system: the libraries that
# cmake/windows/third_party cross-built into QUELLON_WINDOWS_PREFIX, and the
# MinGW sysroot's zlib.
set(QUELLON_WINDOWS_PREFIX "" CACHE PATH "Where cmake/windows/third_party installed libpng, libjpeg and hidapi")
if(NOT EXISTS "${QUELLON_WINDOWS_PREFIX}/include/png.h")
    message(FATAL_ERROR "QUELLON_WINDOWS_PREFIX holds no libpng: build cmake/windows/third_party first (tools/dev windows)")
endif()

# hidapi's Windows backend, as hidapi.dll beside the program.
add_library(quellon_hidapi SHARED IMPORTED GLOBAL)
set_target_properties(quellon_hidapi PROPERTIES
    IMPORTED_LOCATION "${QUELLON_WINDOWS_PREFIX}/bin/hidapi.dll"
    IMPORTED_IMPLIB "${QUELLON_WINDOWS_PREFIX}/lib/libhidapi.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${QUELLON_WINDOWS_PREFIX}/include/hidapi")
# Where hidapi.h is, as pkg-config tells it on Linux (the virtual unit's shim).
set(HIDAPI_INCLUDE_DIRS "${QUELLON_WINDOWS_PREFIX}/include/hidapi")

# JUCE's image loaders include <png.h> and <jpeglib.h>; our jpeglib.h wrapper
# comes first on the path (see its comment).
add_library(quellon_image_libraries INTERFACE)
target_include_directories(quellon_image_libraries INTERFACE
    "${CMAKE_CURRENT_LIST_DIR}/include" "${QUELLON_WINDOWS_PREFIX}/include")
target_link_libraries(quellon_image_libraries INTERFACE
    "${QUELLON_WINDOWS_PREFIX}/lib/libpng16.a" "${QUELLON_WINDOWS_PREFIX}/lib/libjpeg.a" z)

# Tests run under Wine, in a prefix inside this build folder (never ~/.wine).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(QUELLON_WINEPREFIX "${CMAKE_BINARY_DIR}/wine")
    set(QUELLON_WINE_PREFIX_SCRIPT "${PROJECT_SOURCE_DIR}/tools/windows-prefix.sh")
    configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
endif()

# Google Benchmark, once cmake/windows/third_party has built it for the
# benchmarks (tools/windows-build.sh --benchmarks).
if(EXISTS "${QUELLON_WINDOWS_PREFIX}/lib/cmake/benchmark/benchmarkConfig.cmake")
    set(benchmark_DIR "${QUELLON_WINDOWS_PREFIX}/lib/cmake/benchmark")
endif()
