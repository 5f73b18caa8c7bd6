#include "app/HttpClient.h"

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <mutex>

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

enum TCompletionKind { ckDone, ckError, ckTimeout };
struct TCompletion {
    TCompletionKind Kind = ckDone;
    DWORD Error = 0;
    DWORD Bytes = 0;   // available or read, where the step has a count
};

// What the platform's threads report about one request. It lives until the
// request handle is really gone, which after a cancel may be well after
// HttpRequest has returned: the handle's context holds a share of it.
struct TRequestEvents {
    HANDLE Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::mutex M;
    TCompletion Last;
    // What an asynchronous read fills. A read cancelled at the deadline may
    // still be written to after HttpRequest has returned, so the buffer
    // lives as long as the request's state, never on a caller's stack.
    std::array<char, 8192> Buffer{};
    ~TRequestEvents() {
        if (Event) CloseHandle(Event);
    }
};
using TRequestEventsShare = std::shared_ptr<TRequestEvents>;

void CALLBACK RequestCallback(HINTERNET, DWORD_PTR context, DWORD code, LPVOID info, DWORD length) {
    if (!context) return;   // the session and the connection carry none
    auto* share = reinterpret_cast<TRequestEventsShare*>(context);
    if (code == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        delete share;
        return;
    }
    TCompletion c;
    switch (code) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        c.Bytes = info && length >= sizeof(DWORD) ? *static_cast<const DWORD*>(info) : 0;
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        c.Bytes = length;
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        c.Kind = ckError;
        c.Error = info ? static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
        break;
    default:
        return;
    }
    TRequestEvents& events = **share;
    {
        std::lock_guard<std::mutex> lock(events.M);
        events.Last = c;
    }
    SetEvent(events.Event);
}

// One asynchronous request, waited for step by step from the calling thread
// only (so no other thread ever uses its handle). Closing the handle is the
// cancel: whatever is still pending ends without us.
class TPendingRequest {
public:
    explicit TPendingRequest(HINTERNET request) : request_(request), events_(std::make_shared<TRequestEvents>()) {
        auto* share = new TRequestEventsShare(events_);
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(share);
        ready_ = events_->Event && WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context));
        if (!ready_) delete share;
    }
    ~TPendingRequest() { WinHttpCloseHandle(request_); }
    TPendingRequest(const TPendingRequest&) = delete;
    TPendingRequest& operator=(const TPendingRequest&) = delete;

    bool Ready() const { return ready_; }
    std::array<char, 8192>& Buffer() { return events_->Buffer; }
    TCompletion Wait(std::chrono::steady_clock::time_point deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        DWORD ms = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        if (WaitForSingleObject(events_->Event, ms) != WAIT_OBJECT_0) return {ckTimeout, 0, 0};
        std::lock_guard<std::mutex> lock(events_->M);
        return events_->Last;
    }

private:
    HINTERNET request_;
    TRequestEventsShare events_;
    bool ready_ = false;
};

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Asynchronous, so that this thread only ever waits for one event with
    // the time that is left and can cancel the request at the deadline: in
    // blocking mode a single call may wait far longer than any time-out
    // (a read waits for its whole buffer, and the receive time-out starts
    // again with every byte).
    THttpHandle session(WinHttpOpen(L"Tarnwick", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!session) return Failed(r);
    // The platform's own time-outs still bound its work after a cancel.
    int t = static_cast<int>(timeoutMs);
    WinHttpSetTimeouts(session.get(), t, t, t, t);
    if (WinHttpSetStatusCallback(session.get(), RequestCallback,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK)
        return Failed(r);
    THttpHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return Failed(r);
    std::wstring wverb = Utf8ToWide(verb);
    HINTERNET request = WinHttpOpenRequest(connection.get(), wverb.c_str(), path, nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (!request) return Failed(r);
    TPendingRequest pending(request);
    if (!pending.Ready()) return Failed(r);
    WinHttpSetTimeouts(request, t, t, t, t);
    DWORD receiveResponse = timeoutMs;
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveResponse, sizeof(receiveResponse));
    if (!followRedirects) {
        DWORD off = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof(off));
    }
    auto failed = [&](TCompletion c) {
        r.Status = 0;
        r.Error = c.Kind == ckTimeout ? "time-out" : LastErrorText(c.Error);
        return r;
    };
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return Failed(r);
    TCompletion c = pending.Wait(deadline);
    if (c.Kind != ckDone) return failed(c);
    if (!WinHttpReceiveResponse(request, nullptr)) return Failed(r);
    c = pending.Wait(deadline);
    if (c.Kind != ckDone) return failed(c);
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Failed(r);
    r.Status = static_cast<int>(status);
    if (verb != "GET" || status != 200) return r;
    // Read what has arrived, never more: a read of a larger buffer would
    // wait until it is full.
    std::string raw;
    std::array<char, 8192>& buf = pending.Buffer();
    for (;;) {
        if (!WinHttpQueryDataAvailable(request, nullptr)) return failed({ckError, GetLastError(), 0});
        c = pending.Wait(deadline);
        if (c.Kind != ckDone) return failed(c);
        if (c.Bytes == 0) break;
        DWORD want = std::min<DWORD>(c.Bytes, static_cast<DWORD>(buf.size()));
        if (!WinHttpReadData(request, buf.data(), want, nullptr)) return failed({ckError, GetLastError(), 0});
        c = pending.Wait(deadline);
        if (c.Kind != ckDone) return failed(c);
        if (c.Bytes == 0) break;
        raw.append(buf.data(), std::min<DWORD>(c.Bytes, want));
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
