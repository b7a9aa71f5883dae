# The search library's datagram decoder and the tracker behind it.
lorvex_add_fuzzer(lorvex_search_datagram ${CMAKE_CURRENT_LIST_DIR}/lorvex_search_datagram.cpp lorvex_search)
