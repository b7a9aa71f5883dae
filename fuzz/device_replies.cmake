lorvex_add_fuzzer(device_replies ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_device_replies.cpp search_live)
