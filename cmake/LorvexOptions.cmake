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

# The test programs are many executables, each linked against the whole
# engine with its debug information; lld links them about three times faster
# than the default linker. Off, or without lld, the default linker is used.
option(LORVEX_FAST_LINK "Link with lld when the compiler can use it" ON)
if(LORVEX_FAST_LINK)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_LINK_OPTIONS -fuse-ld=lld)
  check_cxx_source_compiles("int main() { return 0; }" LORVEX_HAVE_LLD)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(LORVEX_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()
