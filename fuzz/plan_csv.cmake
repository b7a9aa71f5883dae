# The CSV reader and the plan import of the commissioning module.
lorvex_add_fuzzer(plan_csv ${CMAKE_CURRENT_LIST_DIR}/fuzz_plan_csv.cpp commission)
