# A WS-Discovery probe round against the simulator's standard cameras; run
# it only through bench/onvif-probe-round (netns-run).
add_executable(bench_onvif_probe_round ${CMAKE_CURRENT_SOURCE_DIR}/bench_onvif_probe_round.cpp)
target_link_libraries(bench_onvif_probe_round PRIVATE lorvex_devsim_core lorvex_warnings)

# Many cameras' pictures through the engine; run it only through
# bench/onvif-snapshots (netns-run), which times curl on the same URIs.
add_executable(bench_onvif_snapshots ${CMAKE_CURRENT_SOURCE_DIR}/bench_onvif_snapshots.cpp)
target_link_libraries(bench_onvif_snapshots PRIVATE onvif lorvex_warnings)
