# The image module's path for every picture taken from the LAN: the marker
# walk, the bounded decode and the thumbnail.
lorvex_add_fuzzer(snapshot_jpeg ${CMAKE_CURRENT_LIST_DIR}/snapshot_jpeg.cpp snapshot)
