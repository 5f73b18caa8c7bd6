#include "app/HttpClient.h"

#include <windows.h>

#include <winhttp.h>

#include <memory>

#include "base/WinText.h"

namespace tw {

namespace {

struct HInternetCloser {
    void operator()(void* h) const {
        if (h) WinHttpCloseHandle(h);
    }
};
using THttpHandle = std::unique_ptr<void, HInternetCloser>;

std::string LastErrorText(DWORD code) {
    wchar_t* buf = nullptr;
    HMODULE winhttp = GetModuleHandleW(L"winhttp.dll");
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             winhttp, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text = n && buf ? WideToUtf8(std::wstring(buf, n)) : "";
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

THttpResponse Failed(THttpResponse r) {
    r.Error = LastErrorText(GetLastError());
    return r;
}

// Release texts are written on Windows in its Western code page; keep UTF-8
// as it is and read anything else as Windows-1252.
std::string BodyToUtf8(const std::string& raw) {
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
    if (wide > 0 || raw.empty()) return raw;
    int n = MultiByteToWideChar(1252, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(1252, 0, raw.data(), static_cast<int>(raw.size()), w.data(), n);
    return WideToUtf8(w);
}

} // namespace

THttpResponse HttpRequest(const std::string& verb, const std::string& address, bool followRedirects,
                          unsigned timeoutMs) {
    THttpResponse r;
    std::wstring url = Utf8ToWide(address);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return Failed(r);
    if (parts.nScheme != INTERNET_SCHEME_HTTP) {
        r.Error = "not a plain http address";
        return r;
    }
    const DWORD deadline = GetTickCount() + timeoutMs;
    THttpHandle session(WinHttpOpen(L"Tarnwick", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Failed(r);
    int t = static_cast<int>(timeoutMs);
    WinHttpSetTimeouts(session.get(), t, t, t, t);
    THttpHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return Failed(r);
    std::wstring wverb = Utf8ToWide(verb);
    THttpHandle request(WinHttpOpenRequest(connection.get(), wverb.c_str(), path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request) return Failed(r);
    // Set on the request as well: not every implementation hands the
    // session's time-outs on to its requests.
    WinHttpSetTimeouts(request.get(), t, t, t, t);
    DWORD receiveResponse = timeoutMs;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveResponse, sizeof(receiveResponse));
    if (!followRedirects) {
        DWORD off = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof(off));
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return Failed(r);
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Failed(r);
    r.Status = static_cast<int>(status);
    if (verb != "GET" || status != 200) return r;
    // A server that trickles its answer byte by byte must not get round the
    // bound either: the whole body comes within the time of one request.
    std::string raw;
    char buf[8192];
    for (;;) {
        if (static_cast<int>(GetTickCount() - deadline) > 0) {
            r.Status = 0;
            r.Error = "time-out while reading the answer";
            return r;
        }
        DWORD got = 0;
        if (!WinHttpReadData(request.get(), buf, sizeof(buf), &got)) {
            r.Status = 0;
            return Failed(r);
        }
        if (got == 0) break;
        raw.append(buf, got);
        if (raw.size() > kHttpMaxBody) {
            r.Status = 0;
            r.Error = "answer too large";
            return r;
        }
    }
    r.Body = BodyToUtf8(raw);
    return r;
}

} // namespace tw
