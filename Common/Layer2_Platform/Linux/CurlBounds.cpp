#include "CurlBounds.h"

void SetCurlBounds(CURL* curl, const CurlBounds& bounds) {
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, bounds.protocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, bounds.protocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_IPRESOLVE,
                     bounds.ipv4Only ? CURL_IPRESOLVE_V4 : CURL_IPRESOLVE_WHATEVER);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, bounds.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, bounds.deadlineMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(bounds.maxReplyBytes));
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
}
