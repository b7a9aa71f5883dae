# lorvex_add_gtest(NAME SOURCES... LIBS ...): a GoogleTest executable that
# CTest runs, labelled with the folder it is declared in (the module it
# tests). Tests that need the network pass NETNS: they then run through
# scripts/netns-run, inside a private network namespace of their own.
find_package(GTest QUIET)
function(lorvex_add_gtest name)
  cmake_parse_arguments(T "NETNS" "NETNS_ARGS" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main lorvex_warnings)
  get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  list(APPEND T_LABELS ${module})
  if(T_NETNS)
    separate_arguments(extra UNIX_COMMAND "${T_NETNS_ARGS}")
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/netns-run ${extra} -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS "netns;${T_LABELS}")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
