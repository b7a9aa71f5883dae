# The site report's escaping of device texts for the page and the CSV.
lorvex_add_fuzzer(site_report ${CMAKE_CURRENT_LIST_DIR}/fuzz_site_report.cpp report)
