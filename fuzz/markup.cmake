lorvex_add_fuzzer(markup ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_markup.cpp markup)
lorvex_add_fuzzer(search_result ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_search_result.cpp search)
