# One INTERFACE target carries the language standard, the warnings and the Qt
# safety macros, so every library, executable and test is built alike.
add_library(velmora_config INTERFACE)
target_compile_features(velmora_config INTERFACE cxx_std_20)
target_compile_options(velmora_config INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(velmora_config INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_USE_QSTRINGBUILDER
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060000)

# The hardening Debian builds its packages with, for the programs as shipped:
# checked buffer routines, stack guards, a read-only relocation table bound
# at start, and position-independent executables.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
target_compile_options(velmora_config INTERFACE
    $<$<CONFIG:Release>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong>)
target_link_options(velmora_config INTERFACE $<$<CONFIG:Release>:LINKER:-z,relro,-z,now>)

# Fuzzing: every target is built with coverage for libFuzzer and with the
# address and undefined-behaviour sanitizers, so the fuzzer sees into the core.
option(VELMORA_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(VELMORA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELMORA_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
    endif()
    target_compile_options(velmora_config INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    target_link_options(velmora_config INTERFACE -fsanitize=address,undefined)
endif()
