# The real main window answering a ping while it lists a fleet: the program
# the timed script bench/window-ping runs in a private network.
if(LORVEX_GUI)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets)
  add_executable(bench_window_ping ${CMAKE_CURRENT_SOURCE_DIR}/window_ping.cpp)
  target_link_libraries(bench_window_ping PRIVATE mainwindow startup widgets skin lorvex_netns
                        Qt5::Widgets lorvex_warnings)
  lorvex_deploy_language(bench_window_ping)
endif()
