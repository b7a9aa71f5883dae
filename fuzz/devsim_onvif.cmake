# What the simulated cameras read from the LAN: WS-Discovery probes over UDP
# and device service requests over HTTP.
lorvex_add_fuzzer(devsim_probe ${CMAKE_CURRENT_LIST_DIR}/devsim_probe.cpp lorvex_devsim_core)
lorvex_add_fuzzer(devsim_onvif_request ${CMAKE_CURRENT_LIST_DIR}/devsim_onvif_request.cpp
                  lorvex_devsim_core)
