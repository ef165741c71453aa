# Warnings for the project's own code; JUCE's headers come in as system
# headers and stay quiet.
add_library(kelvane_warnings INTERFACE)
target_compile_options(kelvane_warnings INTERFACE
    -Wall -Wextra -Wshadow -Wno-missing-field-initializers
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
