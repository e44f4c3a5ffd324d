// A small HTTP/1.0 client for the query forwarding (forward.h): parsing of an http or
// https address, the request header, one exchange over a TCP connection (platform/
// socket.h) that reads until the server closes, and the reading of the response status,
// body and content class.
//
// The client state (accept list, proxy mode, last error, time-out) is one process-wide
// HttpClient; the http_ functions are thin wrappers over it, and http_client_reset()
// restores its start state for tests.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Visible limits of a parsed address.
inline constexpr size_t kUrlHostLimit = 255;  // host text bytes
inline constexpr size_t kUrlPathLimit = 259;  // path text bytes
inline constexpr size_t kProxyHostLimit = 1023;

// Receive buffer step: the answer is read this many bytes at a time.
inline constexpr size_t kHttpReceiveStep = 102400;
// Default time-out of the connect and of each wait for data, in milliseconds.
inline constexpr int kHttpDefaultTimeoutMs = 30000;

// Accept list flags and response content classes.
enum : int {
  kHttpText = 1,
  kHttpMedia = 2,        // image/*, audio/*, video/*
  kHttpOctetStream = 4,
  kHttpHtml = 8,
  kHttpAny = 16,
};

// Last socket error of the client.
enum class HttpError : int {
  None = 0,
  NoConnection = 1,
  SendFailed = 2,
  OutOfMemory = 3,
  NothingReceived = 4,
};

// Results of http_parse_response besides a real HTTP status.
inline constexpr int kHttpNoBody = 1001;     // nothing received, no body, unreadable status
inline constexpr int kHttpNoHeaderEnd = 1003;

struct ParsedUrl {
  std::string host;
  uint16_t port = 80;
  std::string path = "/";
};

// Splits an address of the form [blanks]http://host[:port][/path] (or https://, any
// letter case) into host, port (80 when not named, for both schemes) and path ("/" when
// none). Returns 1, or 0 when the scheme is missing, the host is empty or too long, the
// port is not a number 1..65535, the path is too long, or host or path hold control
// characters (they would break the request header).
int url_parse(std::string_view address, ParsedUrl& out);

struct HttpClient {
  std::string accept;
  bool proxy = false;
  std::string proxy_host;
  int proxy_port = 0;
  HttpError error = HttpError::None;
  int timeout_ms = kHttpDefaultTimeoutMs;
};

// The process-wide client state and its reset (no proxy, empty accept list, no error,
// default time-out).
HttpClient& http_client();
void http_client_reset();

// 16: "*/*" alone; else 1 or 8 add "text/html,text/plain", 2 "image/*,audio/*,video/*",
// 4 "application/octet-stream", joined by ",".
void http_set_accept(int flags);
// A non-empty host (at most kProxyHostLimit bytes are kept) switches proxy mode on, an
// empty one switches it off.
void http_set_proxy(std::string_view host, int port);
// True in proxy mode, with its host and port.
bool http_get_proxy(std::string& host, int& port);
// Time-out of the connect and of each wait for data (milliseconds; negative: none).
void http_set_timeout(int timeout_ms);
HttpError http_last_error();

// "GET <target> HTTP/1.0" header with Connection, (If-Modified-Since and Accept-Ranges
// when a date is given,) User-Agent, Accept (the client's list) and HOST, ended by an
// empty line.
std::string http_build_request(std::string_view target, std::string_view host,
                               std::string_view if_modified_since = {});

// Connects to host:port (the proxy in proxy mode is the caller's choice of host), sends
// the whole request and receives until the server closes. Returns the received bytes;
// on failure returns false with http_last_error() set: NoConnection (refused, no
// address, bad port, connect time-out), SendFailed, OutOfMemory, NothingReceived
// (nothing came, or a wait for data timed out).
bool http_exchange(const std::string& host, int port, std::string_view request,
                   std::string& received);

// Reads a response: 200 with body set to everything after the header end; the status
// when it is not 200; kHttpNoBody for nothing, an empty 200 body or a status line too
// short to hold a status; kHttpNoHeaderEnd when the header has no end. The header ends
// at the first "\r\n\r\n" or "\n\n", whichever comes first. content_class is set from
// the Content-Type line (http_content_class).
int http_parse_response(std::string_view response, std::string& body, int& content_class);

// Class of a response header's Content-Type: "text/plain" 1, "text/html" 8, "image/",
// "audio/" or "video/" 2, "application/octet-stream" 4, anything else 16; no
// Content-Type line at all: 1.
int http_content_class(std::string_view header);

}  // namespace qm
