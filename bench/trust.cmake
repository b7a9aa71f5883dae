# The check of one device answer: the reply tag against the HMAC it replaced.
add_executable(bench_trust ${CMAKE_CURRENT_SOURCE_DIR}/bench_trust.cpp)
target_link_libraries(bench_trust PRIVATE protocol_trust benchmark::benchmark lorvex_warnings)
