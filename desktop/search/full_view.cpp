// The full view's marker request, page reader, mail header and base reference (see
// full_view.h).
#include "desktop/search/full_view.h"

#include "common/html.h"

#include "common/strings.h"
#include "desktop/catalogue/mail_side_files.h"

namespace qm {
namespace {

constexpr std::string_view kContentType = "Content-Type: text/html";
constexpr std::string_view kPageEnd = "</html>";

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The position just behind the ">" that closes the "<BODY" tag, and the tag's start;
// npos when there is none.
size_t body_tag(std::string_view page, size_t& close) {
  const size_t at = page.find("<BODY");
  if (at == std::string_view::npos) return at;
  close = page.find('>', at);
  if (close == std::string_view::npos) return std::string_view::npos;
  return at;
}

}  // namespace

std::string MarkerQuery(std::string_view marker_query, bool mail,
                        const std::vector<mail_side::AttachInfoRecord>& attachments) {
  std::string q(marker_query);
  if (!mail) return q;
  if (attachments.empty()) return q + "&k=2";
  const int v = attachments.front().first - 1;
  return q + (v <= 2 ? "&k=0," : "&k=2,") + std::to_string(v);
}

bool MarkerPageReader::feed(std::string_view bytes) {
  if (ended_) return true;
  lines_.clear();
  reader_.feed(bytes, lines_);
  for (const std::string& line : lines_) {
    add(line);
    if (ended_) break;
  }
  return ended_;
}

void MarkerPageReader::finish() {
  if (ended_) return;
  lines_.clear();
  reader_.finish(lines_);
  for (const std::string& line : lines_) {
    add(line);
    if (ended_) break;
  }
  ended_ = true;
}

void MarkerPageReader::add(const std::string& line) {
  if (starts_with(line, kContentType)) return;
  if (!first_) page_ += '\n';
  first_ = false;
  page_ += line;
  if (starts_with(line, kPageEnd)) ended_ = true;
}

std::string DocumentExtension(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string DocumentFile(std::string_view path) {
  if (string_nicmp(DocumentExtension(path), "pgx", 3) != 0) return std::string(path);
  const size_t paren = path.rfind('(');
  return std::string(paren == std::string_view::npos ? path : path.substr(0, paren));
}

std::string HtmlEscaped(std::string_view text) { return html_escape_value(text); }

std::string FileUrl(std::string_view path) {
  std::string out = "file://";
  for (char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (is_alnum_ascii(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += hex_byte_text(c);
    }
  }
  return out;
}

std::string InsertMailHeader(std::string page, const MailHeader& h) {
  size_t close = 0;
  if (body_tag(page, close) == std::string::npos) return page;
  std::string table = "<TABLE BGCOLOR=#DFE7FF WIDTH=90%><TR><TD>";
  table += h.sender_label + HtmlEscaped(h.sender) + "<BR>";
  table += h.date_label + mail_date_text(h.date) + "<BR>";
  table += h.subject_label + HtmlEscaped(h.subject) + "<BR>";
  if (!h.attachments.empty()) {
    table += h.attach_label;
    for (size_t i = 0; i < h.attachments.size(); ++i) {
      if (i) table += "&nbsp;&nbsp;";
      const std::string file =
          h.attach_dir + std::to_string(h.document + 1) + "~" + h.attachments[i];
      table += "<A HREF=\"" + FileUrl(file) + "\">" + HtmlEscaped(h.attachments[i]) + "</A>";
    }
  }
  table += "</TD></TR></TABLE><P>";
  page.insert(close + 1, table);
  return page;
}

std::string InsertBaseReference(std::string page, std::string_view document_path) {
  size_t close = 0;
  const size_t at = body_tag(page, close);
  if (at == std::string::npos) return page;
  page.replace(at, close - at, "<BASE HREF=\"" + FileUrl(document_path) + "\"");
  return page;
}

namespace {

// The start of the first "<BASE" tag (case-blind); npos when there is none.
size_t base_tag(std::string_view page) {
  for (size_t i = 0; i + 5 < page.size(); ++i)
    if (page[i] == '<' && string_nicmp(page.substr(i + 1), "BASE", 4) == 0 &&
        (page[i + 5] == ' ' || page[i + 5] == '>' || page[i + 5] == '\t'))
      return i;
  return std::string_view::npos;
}

}  // namespace

std::string PageWithoutBase(std::string page) {
  const size_t at = base_tag(page);
  if (at == std::string::npos) return page;
  const size_t end = page.find('>', at);
  page.replace(at, end == std::string::npos ? page.size() - at : end + 1 - at, "<BODY>");
  return page;
}

std::string PageBaseReference(std::string_view page) {
  const size_t n = page.size();
  if (const size_t i = base_tag(page); i != std::string_view::npos) {
    const size_t end = page.find('>', i);
    const std::string_view tag = page.substr(i, end == std::string_view::npos ? n - i : end - i);
    for (size_t k = 0; k + 5 <= tag.size(); ++k) {
      if (string_nicmp(tag.substr(k), "HREF=", 5) != 0) continue;
      std::string_view v = tag.substr(k + 5);
      if (!v.empty() && (v[0] == '"' || v[0] == '\'')) {
        const char q = v[0];
        v.remove_prefix(1);
        return std::string(v.substr(0, v.find(q)));
      }
      return std::string(v.substr(0, v.find_first_of(" \t\r\n")));
    }
    return {};
  }
  return {};
}

}  // namespace qm
