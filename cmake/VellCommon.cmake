# One INTERFACE target carries the settings every library and executable shares.
add_library(vell_common INTERFACE)
target_compile_features(vell_common INTERFACE cxx_std_20)
target_compile_options(vell_common INTERFACE -Wall -Wextra)
target_compile_definitions(vell_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_NO_KEYWORDS)
# Executables load only the shared libraries they use: the service, which runs once per
# tunnel, must not pay for the crypto library that the protocol library brings along.
target_link_options(vell_common INTERFACE -Wl,--as-needed)
