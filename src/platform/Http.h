#pragma once

// Plain HTTP requests for the few places that fire a request and move on.

#include <string>

namespace platform {

struct HttpResult {
    bool transferred = false; // a response arrived
    long status = 0;
    std::string error;
};

// Process-wide network start and end, around everything that uses libcurl.
void InitNetwork();
void ShutdownNetwork();

// POST with no headers and no body; the response body is dropped.
HttpResult HttpPostEmpty(const std::string& url, const std::string& userAgent,
                         long timeoutSeconds = 10);

} // namespace platform
