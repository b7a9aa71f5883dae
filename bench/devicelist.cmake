# The main window's device list at ten thousand devices: a timed offscreen
# program, run inside scripts/netns-run (see docs/performance.md).
if(LORVEX_GUI)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
  add_executable(bench_devicelist ${CMAKE_CURRENT_SOURCE_DIR}/bench_devicelist.cpp)
  target_include_directories(bench_devicelist PRIVATE ${PROJECT_SOURCE_DIR}/tests/mainwindow)
  target_link_libraries(bench_devicelist PRIVATE mainwindow startup lorvex_netns Qt5::Widgets
                        Qt5::Test lorvex_warnings)
  lorvex_deploy_language(bench_devicelist)
endif()
