# A WS-Discovery probe round against the simulator's standard cameras; run
# it only through bench/onvif-probe-round (netns-run).
add_executable(bench_onvif_probe_round ${CMAKE_CURRENT_SOURCE_DIR}/bench_onvif_probe_round.cpp)
target_link_libraries(bench_onvif_probe_round PRIVATE lorvex_devsim_core lorvex_warnings)
