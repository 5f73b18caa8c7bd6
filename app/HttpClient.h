// Plain HTTP requests of the update check over WinHTTP, the platform's own
// client. Every request is bounded in time: a server that does not answer
// must never hold up the program's start.
#pragma once

#include <string>

namespace tw {

// Time the update check's requests may take together, whatever the server
// does (silence, or an answer trickled byte by byte).
constexpr unsigned kHttpTimeoutMs = 3000;
// A release text is a few kilobytes; anything beyond this is not one.
constexpr size_t kHttpMaxBody = 1 << 20;

struct THttpResponse {
    int Status = 0;       // 0 when no answer came
    std::string Body;     // GET only
    std::string Error;    // the platform's reason when the request failed
};

// HEAD or GET of a plain "http://" address; redirects are followed only when
// asked. Returns within timeoutMs: at the deadline the request is cancelled
// and answers Status 0. Never throws.
THttpResponse HttpRequest(const std::string& verb, const std::string& address, bool followRedirects,
                          unsigned timeoutMs = kHttpTimeoutMs);

} // namespace tw
