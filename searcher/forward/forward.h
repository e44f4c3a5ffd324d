// Query forwarding: when the setting ActivePage is not empty, the searcher renders no
// page of its own but posts the request, its page figures and the hits of the requested
// page to that address (another search server or a web application) over HTTP/1.0, and
// relays the answer to its own caller. The HTTP exchange is http_client.h.
//
// The request driver fills a ForwardInput from the request parameters, the settings and
// the page's hits (their DB_Table values and path.db paths), then calls
// forward_build_request. Every failure is written into the page as a short HTML line;
// none of them is fatal, the run ends normally.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr const char* kForwardCommandFailed = "<H1>Search Command Failed !!</H1>";
inline constexpr const char* kForwardFailed = "<H1>Search Fail !!</H1>";
// The whole forwarded query (address, "?" and body) is at most this many bytes.
inline constexpr size_t kForwardQueryLimit = 10240;

// One hit of the requested page.
struct ForwardHit {
  std::string db_table;  // the DB_Table value of the hit's database
  std::string path;      // the document's path as stored in path.db
  int score = 0;         // the hit's score
};

struct ForwardInput {
  // Settings.
  std::string active_page;  // ActivePage (as the configuration loader holds it)
  bool use_proxy = false;   // UseProxy: with a non-empty proxy_ip the proxy is used
  std::string proxy_ip;     // ProxyIP: host name or dotted address of the proxy
  int proxy_port = 0;       // ProxyPort

  // Request parameters ("" for an absent one).
  std::string s;  // database ids, URL-decoded
  std::string p;  // keyword parameter exactly as it came in the request (not decoded)
  std::string o;  // order option; its first character is sent
  std::string h;  // "1": homophones
  std::string f;  // "1": fault-tolerant matching
  std::string z;  // property range, URL-decoded (always sent, possibly empty)
  std::string g;  // sent only when not empty

  // Page figures.
  int rows = 15;       // hits per page, after the driver's clamping
  int first_item = 1;  // 1-based number of the page's first hit (forward_page_range)
  int total = 0;       // hit count of the whole request

  // The hits first_item..last_item of forward_page_range, in rank order.
  std::vector<ForwardHit> hits;
};

// Receives the relayed answer or a failure line.
using ForwardWriter = std::function<void(const char* data, size_t n)>;

// The page's items: first is b's decimal value when b is given and lies in 1..total,
// else 1; last is first + rows - 1, at most total (last < first: no hits on the page).
struct ForwardPage {
  int first = 1;
  int last = 0;
};
ForwardPage forward_page_range(const std::string* b, int total, int rows);

// The forwarded query: ActivePage "?s=..&p=..&o=.&a=..&b=..&t=..&h=.&f=.&z=..[&g=..]"
// and one "&i=<DB_Table>,<path>,<score>" per hit while the text stays within
// kForwardQueryLimit bytes (the first piece that would pass it ends the list).
std::string forward_query_text(const ForwardInput& input);

// Sets the HTTP client's proxy mode from the input's settings, builds the forwarded
// query and posts it with forward_query. The writer defaults to the program's output
// (html_put_bytes); the caller writes the content-type header before.
void forward_build_request(const ForwardInput& input, const ForwardWriter& writer = {});

// Posts "<address>?<body>" and writes the answer: on status 200 with a body, the body
// (by its length) followed by "\n<!--<address>-->\n"; otherwise kForwardFailed, or
// kForwardCommandFailed when there is no "?". In proxy mode (http_set_proxy) the
// connection goes to the proxy and the request target is the absolute address.
void forward_query(std::string_view query, const ForwardWriter& writer = {});

}  // namespace qm
