# The interface target every project target links: warning flags and the
# sanitizer switches, in one place.
add_library(lorvex_warnings INTERFACE)
target_compile_options(lorvex_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(LORVEX_WERROR)
  target_compile_options(lorvex_warnings INTERFACE -Werror)
endif()

if(LORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(LORVEX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(LORVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LORVEX_FUZZ needs clang (CXX=clang++)")
  endif()
  # Every library is instrumented for coverage so the fuzzer sees inside it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
