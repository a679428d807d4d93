# Compiles a file into a target as a constant byte block, the way a program
# carries resources of its own (the skin's image pack, factory data, firmware).
#
#   quellon_embed_file(<target> NAME <identifier> FILE <path>)
#
# adds a generated source to <target> that defines
#
#   namespace Embedded { extern const unsigned char <identifier>[];
#                        extern const std::size_t <identifier>Size; }
#
# and a header "Embedded/<identifier>.h" that declares them. The block is
# regenerated whenever the file changes, also when the file is itself made
# at build time (give its producing custom command's OUTPUT as FILE). Each
# target has a folder of its own, so two targets may embed different files
# under the same name.
set(QUELLON_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/EmbedFileScript.cmake")

function(quellon_embed_file target)
    cmake_parse_arguments(ARG "" "NAME;FILE" "" ${ARGN})
    if(NOT ARG_NAME OR NOT ARG_FILE)
        message(FATAL_ERROR "quellon_embed_file needs NAME and FILE")
    endif()

    set(dir "${CMAKE_CURRENT_BINARY_DIR}/embedded/${target}")
    set(header "${dir}/Embedded/${ARG_NAME}.h")
    set(source "${dir}/${ARG_NAME}.cpp")

    file(CONFIGURE OUTPUT "${header}" CONTENT
"#pragma once

#include <cstddef>

namespace Embedded
{
extern const unsigned char ${ARG_NAME}[];
extern const std::size_t ${ARG_NAME}Size;
} // namespace Embedded
")

    add_custom_command(
        OUTPUT "${source}"
        COMMAND ${CMAKE_COMMAND} -DIN=${ARG_FILE} -DOUT=${source} -DNAME=${ARG_NAME}
                -P "${QUELLON_EMBED_SCRIPT}"
        DEPENDS "${ARG_FILE}" "${QUELLON_EMBED_SCRIPT}"
        COMMENT "Embedding ${ARG_NAME}"
        VERBATIM)

    target_sources(${target} PRIVATE "${source}")
    target_include_directories(${target} PUBLIC "${dir}")
endfunction()
