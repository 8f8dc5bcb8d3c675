# One compiler policy that every target of the project links.
add_library(corvane_policy INTERFACE)
target_compile_options(corvane_policy INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(CORVANE_WERROR)
  target_compile_options(corvane_policy INTERFACE -Werror)
endif()
target_compile_definitions(corvane_policy INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)

# Hardened binaries (the CUPS filter runs for every print job): stack protector, checked libc calls
# where the optimiser can see sizes, and relocations read-only before the program runs. Not for the
# sanitizer builds of the fuzz targets, which check more than this at run time.
if(NOT CORVANE_FUZZ)
  target_compile_options(corvane_policy INTERFACE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  target_link_options(corvane_policy INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()
