#include "platform/Http.h"

#include <curl/curl.h>

#include <memory>

namespace platform {
namespace {

size_t DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

} // namespace

void InitNetwork() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

void ShutdownNetwork() {
    curl_global_cleanup();
}

HttpResult HttpPostEmpty(const std::string& url, const std::string& userAgent,
                         long timeoutSeconds) {
    HttpResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = "curl_easy_init failed";
        return result;
    }
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds);
    // No headers of our own: drop the ones libcurl adds for a form post.
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    CURLcode code = curl_easy_perform(h);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        result.error = curl_easy_strerror(code);
        return result;
    }
    result.transferred = true;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.status);
    return result;
}

} // namespace platform
