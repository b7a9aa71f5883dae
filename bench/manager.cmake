# The search manager: cost per event with 10,000 devices, memory per device.
add_executable(bench_manager ${CMAKE_CURRENT_SOURCE_DIR}/bench_manager.cpp)
target_link_libraries(bench_manager PRIVATE search benchmark::benchmark lorvex_warnings)

# Time from RefreshSearch to the last device's event, against the real
# library and simulator; run it only through bench/search-fleet (netns-run).
add_executable(bench_search_fleet ${CMAKE_CURRENT_SOURCE_DIR}/bench_search_fleet.cpp)
target_link_libraries(bench_search_fleet PRIVATE search_live lorvex_warnings)
