# One compiler policy that every target of the project links.
add_library(corvane_policy INTERFACE)
target_compile_options(corvane_policy INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(CORVANE_WERROR)
  target_compile_options(corvane_policy INTERFACE -Werror)
endif()
target_compile_definitions(corvane_policy INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)
