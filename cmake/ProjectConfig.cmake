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
