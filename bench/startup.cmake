# Start-up of the tool against an empty Qt Widgets window: the peer program
# the timed script bench/startup runs beside lorvex.
if(LORVEX_GUI)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets)
  add_executable(bench_startup_peer ${CMAKE_CURRENT_SOURCE_DIR}/startup_peer.cpp)
  target_link_libraries(bench_startup_peer PRIVATE startup Qt5::Widgets lorvex_warnings)
endif()
