# Device identity from the LAN: certificates, sealed requests as a device
# opens them, and answers and replies as the library checks them.
lorvex_add_fuzzer(trust_certificate ${CMAKE_CURRENT_LIST_DIR}/trust_certificate.cpp protocol)
lorvex_add_fuzzer(trust_sealed ${CMAKE_CURRENT_LIST_DIR}/trust_sealed.cpp protocol)
lorvex_add_fuzzer(trust_answer ${CMAKE_CURRENT_LIST_DIR}/trust_answer.cpp protocol)
