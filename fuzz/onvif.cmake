# The camera module's readers of hostile input: WS-Discovery datagrams and
# device service answers.
lorvex_add_fuzzer(onvif_discovery ${CMAKE_CURRENT_LIST_DIR}/onvif_discovery.cpp onvif)
lorvex_add_fuzzer(onvif_soap ${CMAKE_CURRENT_LIST_DIR}/onvif_soap.cpp onvif)
