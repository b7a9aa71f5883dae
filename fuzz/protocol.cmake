# The search library's datagram decoder and the tracker behind it.
lorvex_add_fuzzer(protocol_datagram ${CMAKE_CURRENT_LIST_DIR}/protocol_datagram.cpp protocol)
