# Sanitizer builds for CI: "address" means AddressSanitizer with UBSan,
# "thread" means ThreadSanitizer. Applied to every target, JUCE included,
# so that reports from inside the framework's code carry full stacks.
if(QUELLON_SANITIZE STREQUAL "address")
    set(QUELLON_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
elseif(QUELLON_SANITIZE STREQUAL "thread")
    set(QUELLON_SANITIZE_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT QUELLON_SANITIZE STREQUAL "")
    message(FATAL_ERROR "QUELLON_SANITIZE must be empty, address or thread")
endif()

if(QUELLON_SANITIZE_FLAGS)
    add_compile_options(${QUELLON_SANITIZE_FLAGS})
    add_link_options(${QUELLON_SANITIZE_FLAGS})
endif()

if(QUELLON_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "The fuzz targets need clang (libFuzzer)")
    endif()
    # Coverage for the libraries; the fuzz executables add -fsanitize=fuzzer.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
