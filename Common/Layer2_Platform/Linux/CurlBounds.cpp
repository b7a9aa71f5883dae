#include "CurlBounds.h"

#include <cstring>

#include "SoapTransport.h"

void SetCurlPin(CURL* curl, const std::string& pin) {
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pin.empty() ? nullptr : pin.c_str());
    curl_easy_setopt(curl, CURLOPT_CERTINFO, pin.empty() ? 1L : 0L);
}

std::string CurlPeerKeyPin(CURL* curl) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK || info == nullptr ||
        info->num_of_certs < 1)
        return std::string();
    static const char kCert[] = "Cert:";
    for (curl_slist* field = info->certinfo[0]; field != nullptr; field = field->next)
        if (std::strncmp(field->data, kCert, sizeof kCert - 1) == 0)
            return PublicKeyPinOfPem(field->data + sizeof kCert - 1);
    return std::string();
}

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
