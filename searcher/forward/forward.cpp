// Query forwarding over HTTP; see forward.h.
#include "searcher/forward/forward.h"

#include "common/html.h"
#include "common/strings.h"
#include "searcher/forward/http_client.h"

namespace qm {
namespace {

void emit(const ForwardWriter& writer, std::string_view text) {
  if (writer)
    writer(text.data(), text.size());
  else
    html_put_bytes(text.data(), text.size());
}

}  // namespace

ForwardPage forward_page_range(const std::string* b, int total, int rows) {
  ForwardPage page;
  if (b) {
    long long v = string_leading_number(*b);
    if (v >= 1 && v <= total) page.first = int(v);
  }
  long long last = (long long)page.first + rows - 1;
  page.last = int(last < total ? last : total);
  return page;
}

std::string forward_query_text(const ForwardInput& in) {
  std::string q;
  q.reserve(kForwardQueryLimit);
  q += in.active_page;
  q += "?s=";
  q += in.s;
  q += "&p=";
  q += in.p;
  q += "&o=";
  // An empty order option sends an empty value (a NUL here would cut the query short).
  if (!in.o.empty()) q += in.o[0];
  q += "&a=" + std::to_string(in.rows);
  q += "&b=" + std::to_string(in.first_item);
  q += "&t=" + std::to_string(in.total);
  q += "&h=";
  q += in.h == "1" ? '1' : '0';
  q += "&f=";
  q += in.f == "1" ? '1' : '0';
  q += "&z=";
  q += in.z;
  if (!in.g.empty()) {
    q += "&g=";
    q += in.g;
  }
  for (const ForwardHit& hit : in.hits) {
    std::string piece = "&i=" + hit.db_table + "," + hit.path + "," + std::to_string(hit.score);
    if (q.size() + piece.size() > kForwardQueryLimit) break;
    q += piece;
  }
  return q;
}

void forward_build_request(const ForwardInput& input, const ForwardWriter& writer) {
  std::string proxy = input.proxy_ip;
  string_trim(proxy, " ");
  if (input.use_proxy && !proxy.empty())
    http_set_proxy(proxy, input.proxy_port);
  else
    http_set_proxy("", 0);
  forward_query(forward_query_text(input), writer);
}

void forward_query(std::string_view query, const ForwardWriter& writer) {
  http_set_accept(kHttpText | kHttpHtml);

  size_t question = query.find('?');
  if (question == std::string_view::npos) {
    emit(writer, kForwardCommandFailed);
    return;
  }
  std::string_view address = query.substr(0, question);
  std::string_view body = query.substr(question + 1);

  ParsedUrl url;
  if (!url_parse(address, url)) {
    emit(writer, kForwardFailed);
    return;
  }

  std::string proxy_host;
  int proxy_port = 0;
  bool proxy = http_get_proxy(proxy_host, proxy_port);
  std::string target = url.path;
  if (proxy) {
    target = "http://" + url.host;
// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about the string copies it inlines here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    if (url.port != 80) target += ":" + std::to_string(url.port);
#pragma GCC diagnostic pop
    target += url.path;
  }

  // The GET header becomes a POST with the form body after it.
  std::string request = http_build_request(target, url.host);
  request.replace(0, 3, "POST");
  size_t end = request.find("\r\n\r\n");
  if (end == std::string::npos) {
    emit(writer, kForwardCommandFailed);
    return;
  }
  request.resize(end);
  request += "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: ";
  request += std::to_string(body.size());
  request += "\r\n\r\n";
  request += body;

  std::string received;
  bool ok = proxy ? http_exchange(proxy_host, proxy_port, request, received)
                  : http_exchange(url.host, url.port, request, received);
  std::string answer;
  int content_class = 0;
  if (!ok || http_parse_response(received, answer, content_class) != 200) {
    emit(writer, kForwardFailed);
    return;
  }
  emit(writer, answer);
  emit(writer, "\n<!--");
  emit(writer, address);
  emit(writer, "-->\n");
}

}  // namespace qm
