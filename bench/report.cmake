# The site report's writer for 1,000 synthetic devices beside plain file
# writes of the same bytes.
add_executable(bench_report ${CMAKE_CURRENT_SOURCE_DIR}/bench_report.cpp)
target_link_libraries(bench_report PRIVATE report snapshot benchmark::benchmark lorvex_warnings)
