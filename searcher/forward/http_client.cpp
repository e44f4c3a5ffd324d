// The HTTP/1.0 client of the query forwarding; see http_client.h.
#include "searcher/forward/http_client.h"

#include <new>

#include "common/strings.h"
#include "platform/socket.h"

namespace qm {
namespace {

HttpClient g_client;

bool has_control_char(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool starts_with_icase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && string_nicmp(text, prefix, prefix.size()) == 0;
}

}  // namespace

int url_parse(std::string_view address, ParsedUrl& out) {
  size_t i = 0;
  while (i < address.size() && address[i] == ' ') ++i;
  std::string_view rest = address.substr(i);
  if (starts_with_icase(rest, "http://"))
    rest.remove_prefix(7);
  else if (starts_with_icase(rest, "https://"))
    rest.remove_prefix(8);
  else
    return 0;

  size_t slash = rest.find('/');
  std::string_view host = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view("/")
                                                          : rest.substr(slash);
  uint16_t port = 80;
  size_t colon = host.find(':');
  if (colon != std::string_view::npos) {
    std::string_view digits = host.substr(colon + 1);
    host = host.substr(0, colon);
    if (digits.empty() || digits.size() > 5) return 0;
    unsigned value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return 0;
      value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535) return 0;
    port = uint16_t(value);
  }
  if (host.empty() || host.size() > kUrlHostLimit || path.size() > kUrlPathLimit) return 0;
  if (has_control_char(host) || has_control_char(path)) return 0;
  out.host.assign(host);
  out.port = port;
  out.path.assign(path);
  return 1;
}

HttpClient& http_client() { return g_client; }

void http_client_reset() { g_client = HttpClient{}; }

void http_set_accept(int flags) {
  std::string& accept = g_client.accept;
  accept.clear();
  if (flags & kHttpAny) {
    accept = "*/*";
    return;
  }
  auto add = [&accept](const char* part) {
    if (!accept.empty()) accept += ',';
    accept += part;
  };
  if (flags & (kHttpText | kHttpHtml)) add("text/html,text/plain");
  if (flags & kHttpMedia) add("image/*,audio/*,video/*");
  if (flags & kHttpOctetStream) add("application/octet-stream");
}

void http_set_proxy(std::string_view host, int port) {
  g_client.proxy_host.assign(host.substr(0, kProxyHostLimit));
  g_client.proxy_port = port;
  g_client.proxy = !g_client.proxy_host.empty();
}

bool http_get_proxy(std::string& host, int& port) {
  host = g_client.proxy_host;
  port = g_client.proxy_port;
  return g_client.proxy;
}

void http_set_timeout(int timeout_ms) { g_client.timeout_ms = timeout_ms; }

HttpError http_last_error() { return g_client.error; }

std::string http_build_request(std::string_view target, std::string_view host,
                               std::string_view if_modified_since) {
  std::string r;
  r.reserve(160 + target.size() + host.size() + g_client.accept.size());
  r += "GET ";
  r += target;
  r += " HTTP/1.0\r\nConnection: close\r\n";
  if (!if_modified_since.empty()) {
    r += "If-Modified-Since: ";
    r += if_modified_since;
    r += "\r\nAccept-Ranges: bytes\r\n";
  }
  r += "User-Agent: Mozilla/4.0 (compatible; Quillmere 3.20;)\r\nAccept: ";
  r += g_client.accept;
  r += "\r\nHOST: ";
  r += host;
  r += "\r\n\r\n";
  return r;
}

bool http_exchange(const std::string& host, int port, std::string_view request,
                   std::string& received) {
  received.clear();
  g_client.error = HttpError::None;
  const int timeout = g_client.timeout_ms;
  if (port <= 0 || port > 65535) {
    g_client.error = HttpError::NoConnection;
    return false;
  }
  TcpSocket socket;
  if (socket.connect(host, uint16_t(port), timeout) != SocketStatus::Ok) {
    g_client.error = HttpError::NoConnection;
    return false;
  }
  if (socket.send_all(request.data(), request.size(), timeout) != SocketStatus::Ok) {
    g_client.error = HttpError::SendFailed;
    return false;
  }
  try {
    for (;;) {
      if (received.capacity() - received.size() < kHttpReceiveStep)
        received.reserve(received.size() + kHttpReceiveStep);
      size_t old = received.size();
      received.resize(old + kHttpReceiveStep);
      size_t got = 0;
      SocketStatus s = socket.receive(received.data() + old, kHttpReceiveStep, got, timeout);
      received.resize(old + got);
      if (s == SocketStatus::Ok) continue;
      if (s == SocketStatus::TimedOut) {
        // A server that stops answering gives no usable answer, even a partial one.
        received.clear();
        g_client.error = HttpError::NothingReceived;
        return false;
      }
      break;  // closed by the server, or a failed receive: keep what came
    }
  } catch (const std::bad_alloc&) {
    received.clear();
    received.shrink_to_fit();
    g_client.error = HttpError::OutOfMemory;
    return false;
  }
  socket.close();
  if (received.empty()) {
    g_client.error = HttpError::NothingReceived;
    return false;
  }
  return true;
}

int http_content_class(std::string_view header) {
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find('\n', start);
    if (end == std::string_view::npos) end = header.size();
    std::string_view line = header.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view name = "Content-Type";
    if (!starts_with_icase(line, name)) continue;
    std::string_view value = line.substr(name.size());
    size_t i = string_skip_set(value, " \t");
    if (i >= value.size() || value[i] != ':') continue;
    value.remove_prefix(i + 1);
    value.remove_prefix(string_skip_set(value, " \t"));
    if (starts_with_icase(value, "text/plain")) return kHttpText;
    if (starts_with_icase(value, "text/html")) return kHttpHtml;
    if (starts_with_icase(value, "image/") || starts_with_icase(value, "audio/") ||
        starts_with_icase(value, "video/"))
      return kHttpMedia;
    if (starts_with_icase(value, "application/octet-stream")) return kHttpOctetStream;
    return kHttpAny;
  }
  return kHttpText;
}

int http_parse_response(std::string_view response, std::string& body, int& content_class) {
  body.clear();
  content_class = kHttpText;
  if (response.empty()) return kHttpNoBody;

  size_t crlf = response.find("\r\n\r\n");
  size_t lf = response.find("\n\n");
  size_t header_end, body_start;
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf)) {
    header_end = crlf;
    body_start = crlf + 4;
  } else if (lf != std::string_view::npos) {
    header_end = lf;
    body_start = lf + 2;
  } else {
    return kHttpNoHeaderEnd;
  }
  std::string_view header = response.substr(0, header_end);
  content_class = http_content_class(header);

  // The status follows the protocol word, its version and a blank: "HTTP/1.0 200".
  std::string_view status_line = header.substr(0, header.find_first_of("\r\n"));
  if (status_line.size() < 10 || status_line[9] < '0' || status_line[9] > '9')
    return kHttpNoBody;
  int status = 0;
  for (size_t i = 9; i < status_line.size(); ++i) {
    char c = status_line[i];
    if (c < '0' || c > '9') break;
    if (status < 100000) status = status * 10 + (c - '0');
  }
  if (status != 200) return status;
  if (body_start >= response.size()) return kHttpNoBody;
  body.assign(response.substr(body_start));
  return 200;
}

}  // namespace qm
