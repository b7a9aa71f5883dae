# The reader of setup codes files and scanner text of the commissioning module.
lorvex_add_fuzzer(setup_codes ${CMAKE_CURRENT_LIST_DIR}/fuzz_setup_codes.cpp commission)
