// Readers of the web servers' configurations for the document and script roots: a reader
// of lighttpd's syntax (its files and `lighttpd -p` output alike) and a reader of
// Apache's directives. See setup_roots.h.
#include "setup/setup_roots.h"

#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "platform/process.h"
#include "platform/shell_open.h"

namespace qm {
namespace {

// Bounds that keep a hostile or broken configuration from exhausting memory or stack.
constexpr size_t kMaxFileBytes = size_t(4) << 20;
constexpr size_t kMaxStringBytes = size_t(64) << 10;
constexpr size_t kMaxArrayEntries = 10000;
constexpr int kMaxNesting = 64;
constexpr int kMaxIncludeDepth = 16;
constexpr int kMaxIncludedFiles = 500;
// Values are weighed (an entry or string counts 1, plus a unit per 16 bytes of text): one
// value and all values stored together stay under these weights, so that values built of
// copies of copies cannot grow without end.
constexpr size_t kMaxValueWeight = size_t(1) << 20;
constexpr size_t kMaxTotalWeight = size_t(4) << 20;

std::vector<std::string> glob_sorted(const std::string& pattern) {
  std::vector<std::string> out;
  glob_t g{};
  if (::glob(pattern.c_str(), 0, nullptr, &g) == 0)
    for (size_t i = 0; i < g.gl_pathc; ++i) out.emplace_back(g.gl_pathv[i]);
  ::globfree(&g);
  return out;  // glob sorts by name
}

bool is_regular(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string dir_of(const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

std::string join_relative(const std::string& dir, const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  return dir.empty() || dir.back() == '/' ? dir + path : dir + "/" + path;
}

// ---- lighttpd -----------------------------------------------------------------------

struct Value;
struct ArrayEntry;
struct Value {
  enum class Kind { None, String, Integer, Array } kind = Kind::None;
  std::string text;
  long long number = 0;
  std::vector<ArrayEntry> entries;
  size_t weight = 1;
};
struct ArrayEntry {
  bool keyed = false;
  std::string key;
  Value value;
};

void reweigh(Value& v) {
  v.weight = 1 + v.text.size() / 16;
  for (const auto& e : v.entries) v.weight += e.key.size() / 16 + e.value.weight;
}

enum class Tok { End, String, Integer, Name, Punct, Error };

struct Token {
  Tok kind = Tok::End;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token next() {
    skip_space();
    Token t;
    if (pos_ >= text_.size()) return t;
    char c = text_[pos_];
    if (c == '"') {
      ++pos_;
      t.kind = Tok::String;
      while (pos_ < text_.size() && text_[pos_] != '"') {
        if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
        if (t.text.size() < kMaxStringBytes) t.text += text_[pos_];
        ++pos_;
      }
      if (pos_ >= text_.size()) t.kind = Tok::Error;  // unterminated string
      ++pos_;
      return t;
    }
    if (is_digit(c) || (c == '-' && pos_ + 1 < text_.size() && is_digit(text_[pos_ + 1]))) {
      size_t b = pos_++;
      while (pos_ < text_.size() && is_digit(text_[pos_])) ++pos_;
      t.kind = Tok::Integer;
      t.text = std::string(text_.substr(b, pos_ - b));
      return t;
    }
    if (is_name_char(c)) {
      size_t b = pos_;
      while (pos_ < text_.size() && is_name_char(text_[pos_])) ++pos_;
      t.kind = Tok::Name;
      t.text = std::string(text_.substr(b, pos_ - b));
      return t;
    }
    static constexpr std::string_view kTwo[] = {"=>", "+=", ":=", "==", "!=", "=~", "!~", "=^", "=$"};
    for (std::string_view two : kTwo)
      if (text_.substr(pos_, 2) == two) {
        pos_ += 2;
        t.kind = Tok::Punct;
        t.text = std::string(two);
        return t;
      }
    ++pos_;
    t.kind = Tok::Punct;
    t.text = std::string(1, c);
    return t;
  }

 private:
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  static bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' ||
           c == '_' || c == '-';
  }
  void skip_space() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
        ++pos_;
      } else {
        break;
      }
    }
  }
  std::string_view text_;
  size_t pos_ = 0;
};

class LighttpdReader {
 public:
  LighttpdReader(std::string dir, bool follow_includes)
      : dir_(std::move(dir)), follow_(follow_includes) {
    frames_.push_back(Frame{});
  }

  void read_text(std::string_view text, int include_depth) {
    Lexer lexer(text);
    Parser p{*this, lexer, include_depth, Token{}, false};
    p.advance();
    p.statements(0);
  }

  WebRoots roots() const {
    WebRoots roots;
    const Frame& top = frames_.front();
    if (auto it = top.keys.find("server.document-root"); it != top.keys.end() &&
                                                          it->second.kind == Value::Kind::String)
      roots.doc_root = setup_root_dir(it->second.text);
    if (auto it = top.keys.find("alias.url"); it != top.keys.end())
      roots.cgi_root = cgi_alias(it->second);
    if (!roots.cgi_root) roots.cgi_root = url_block_cgi_;
    return roots;
  }

 private:
  struct Frame {
    bool url_block = false;
    std::map<std::string, Value> keys;
  };

  static std::optional<std::string> cgi_alias(const Value& alias) {
    if (alias.kind != Value::Kind::Array) return std::nullopt;
    for (const auto& e : alias.entries)
      if (e.keyed && (e.key == "/cgi-bin/" || e.key == "/cgi-bin") &&
          e.value.kind == Value::Kind::String)
        return setup_root_dir(e.value.text);
    return std::nullopt;
  }

  // Variables and keys: the innermost frame that holds the name, then the environment.
  Value lookup(const std::string& name) const {
    if (name.starts_with("env.")) {
      Value v;
      v.kind = Value::Kind::String;
      if (const char* e = std::getenv(name.c_str() + 4)) v.text = e;
      return v;
    }
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
      if (auto found = it->keys.find(name); found != it->keys.end()) return found->second;
    return Value{};
  }

  static Value concat(Value a, const Value& b) {
    if (a.kind == Value::Kind::None) return b;
    if (b.kind == Value::Kind::None) return a;
    if (a.kind == Value::Kind::Array && b.kind == Value::Kind::Array) {
      for (const auto& e : b.entries) {
        if (a.entries.size() >= kMaxArrayEntries) break;
        a.entries.push_back(e);
      }
      reweigh(a);
      return a;
    }
    if (a.kind == Value::Kind::Integer && b.kind == Value::Kind::Integer) {
      a.number = static_cast<long long>(static_cast<unsigned long long>(a.number) +
                                        static_cast<unsigned long long>(b.number));
      return a;
    }
    auto text_of = [](const Value& v) {
      return v.kind == Value::Kind::Integer ? std::to_string(v.number) : v.text;
    };
    if (a.kind == Value::Kind::Array || b.kind == Value::Kind::Array) return a;
    Value s;
    s.kind = Value::Kind::String;
    s.text = text_of(a) + text_of(b);
    if (s.text.size() > kMaxStringBytes) s.text.resize(kMaxStringBytes);
    reweigh(s);
    return s;
  }

  // false when the values stored so far weigh too much.
  bool assign(const std::string& name, const std::string& op, Value v) {
    total_weight_ += v.weight;
    if (total_weight_ > kMaxTotalWeight) return false;
    Frame& f = frames_.back();
    if (op == "+=") {
      auto it = f.keys.find(name);
      if (it != f.keys.end()) {
        it->second = concat(it->second, v);
        return true;
      }
    }
    f.keys[name] = std::move(v);
    return true;
  }

  void include(const std::string& pattern, int depth) {
    if (!follow_ || depth >= kMaxIncludeDepth) return;
    for (const auto& file : glob_sorted(join_relative(dir_, pattern))) {
      if (++included_ > kMaxIncludedFiles) return;
      std::string text;
      if (!is_regular(file) || !file_read_regular(file, text, kMaxFileBytes)) continue;
      read_text(text, depth + 1);
    }
  }

  struct Parser {
    LighttpdReader& r;
    Lexer& lex;
    int include_depth;
    Token tok;
    bool failed = false;

    void advance() {
      tok = lex.next();
      if (tok.kind == Tok::Error) failed = true;
    }
    bool at(std::string_view punct) const { return tok.kind == Tok::Punct && tok.text == punct; }
    bool at_name(std::string_view name) const { return tok.kind == Tok::Name && tok.text == name; }
    bool expect(std::string_view punct) {
      if (!at(punct)) {
        failed = true;
        return false;
      }
      advance();
      return true;
    }

    // Statements until "}" (inside a block) or the end; a syntax error ends the reading.
    void statements(int depth) {
      while (!failed && tok.kind != Tok::End) {
        if (at("}")) {
          if (depth == 0) failed = true;
          return;
        }
        statement(depth);
      }
    }

    void block(int depth, bool url_block, bool own_frame) {
      if (!expect("{")) return;
      if (depth >= kMaxNesting) {
        failed = true;
        return;
      }
      if (own_frame) r.frames_.push_back(Frame{url_block, {}});
      statements(depth + 1);
      if (own_frame) {
        Frame done = std::move(r.frames_.back());
        r.frames_.pop_back();
        if (done.url_block && !r.url_block_cgi_)
          if (auto it = done.keys.find("alias.url"); it != done.keys.end())
            r.url_block_cgi_ = cgi_alias(it->second);
      }
      if (!failed) expect("}");
    }

    void condition(int depth) {
      advance();  // "$"
      if (tok.kind != Tok::Name) {
        failed = true;
        return;
      }
      std::string field = tok.text;
      advance();
      if (!expect("[")) return;
      std::string key = tok.kind == Tok::String ? tok.text : std::string();
      if (tok.kind != Tok::String) {
        failed = true;
        return;
      }
      advance();
      if (!expect("]")) return;
      if (!(at("==") || at("!=") || at("=~") || at("!~") || at("=^") || at("=$"))) {
        failed = true;
        return;
      }
      advance();
      expression(0);
      block(depth, field == "HTTP" && key == "url", true);
      // else / else if / elseif chains
      while (!failed && (at_name("else") || at_name("elseif") || at_name("elsif"))) {
        advance();
        if (at("$")) {
          condition_tail(depth);
          return;
        }
        block(depth, false, true);
        return;
      }
    }
    void condition_tail(int depth) { condition(depth); }

    void statement(int depth) {
      if (at("$")) {
        condition(depth);
        return;
      }
      if (tok.kind != Tok::Name) {
        failed = true;
        return;
      }
      std::string name = tok.text;
      advance();
      if (name == "include" || name == "include_shell") {
        Value v = expression(0);
        if (name == "include" && v.kind == Value::Kind::String)
          r.include(v.text, include_depth);
        return;
      }
      if ((name == "global" || name == "config") && at("{")) {
        block(depth, false, false);
        return;
      }
      if (at("=") || at("+=") || at(":=")) {
        std::string op = tok.text;
        advance();
        Value v = expression(0);
        if (!failed && !r.assign(name, op, std::move(v))) failed = true;
        return;
      }
      failed = true;
    }

    Value expression(int nesting) {
      Value v = term(nesting);
      while (!failed && at("+")) {
        advance();
        v = concat(std::move(v), term(nesting));
        if (v.weight > kMaxValueWeight) failed = true;
      }
      return v;
    }

    Value term(int nesting) {
      Value v;
      if (nesting >= kMaxNesting) {
        failed = true;
        return v;
      }
      if (tok.kind == Tok::String) {
        v.kind = Value::Kind::String;
        v.text = tok.text;
        reweigh(v);
        advance();
      } else if (tok.kind == Tok::Integer) {
        v.kind = Value::Kind::Integer;
        v.number = std::strtoll(tok.text.c_str(), nullptr, 10);
        advance();
      } else if (tok.kind == Tok::Name) {
        v = r.lookup(tok.text);
        advance();
      } else if (at("(")) {
        advance();
        v.kind = Value::Kind::Array;
        while (!failed && !at(")")) {
          if (tok.kind == Tok::End) {
            failed = true;
            break;
          }
          ArrayEntry e;
          Value first = expression(nesting + 1);
          if (at("=>")) {
            advance();
            e.keyed = true;
            e.key = first.kind == Value::Kind::Integer ? std::to_string(first.number) : first.text;
            e.value = expression(nesting + 1);
          } else {
            e.value = std::move(first);
          }
          if (v.entries.size() < kMaxArrayEntries) {
            v.weight += e.key.size() / 16 + e.value.weight;
            v.entries.push_back(std::move(e));
          }
          if (v.weight > kMaxValueWeight) failed = true;
          if (at(",")) {
            advance();
          } else if (!at(")")) {
            failed = true;
          }
        }
        if (!failed) advance();
      } else {
        failed = true;
      }
      return v;
    }
  };

  std::string dir_;
  bool follow_;
  int included_ = 0;
  size_t total_weight_ = 0;
  std::vector<Frame> frames_;
  std::optional<std::string> url_block_cgi_;
};

// ---- Apache -------------------------------------------------------------------------

// The words of one directive line: blanks separate, double or single quotes group.
std::vector<std::string> apache_words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"' || line[i] == '\'') {
      char q = line[i++];
      while (i < line.size() && line[i] != q) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == q || line[i + 1] == '\\')) ++i;
        w += line[i++];
      }
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') w += line[i++];
    }
    words.push_back(std::move(w));
  }
  return words;
}

class ApacheReader {
 public:
  explicit ApacheReader(std::string server_root) : server_root_(std::move(server_root)) {}

  void read_file(const std::string& file, int depth) {
    if (depth >= kMaxIncludeDepth || ++files_ > kMaxIncludedFiles) return;
    std::string text;
    if (!file_read_regular(file, text, kMaxFileBytes)) return;
    std::string line;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string::npos) end = text.size();
      std::string_view part(text.data() + pos, end - pos);
      pos = end + 1;
      if (!part.empty() && part.back() == '\\') {
        line.append(part.substr(0, part.size() - 1));
        if (line.size() > kMaxStringBytes) line.clear();
        if (pos <= text.size()) continue;
      } else {
        line.append(part);
      }
      directive(line, depth);
      line.clear();
    }
  }

  WebRoots roots;

 private:
  void directive(std::string_view line, int depth) {
    std::vector<std::string> w = apache_words(line);
    if (w.empty() || w[0].empty() || w[0][0] == '#' || w[0][0] == '<') return;
    const std::string& name = w[0];
    if (string_icmp(name, "ServerRoot") == 0 && w.size() >= 2) {
      server_root_ = w[1];
    } else if (string_icmp(name, "DocumentRoot") == 0 && w.size() >= 2) {
      if (!roots.doc_root) roots.doc_root = setup_root_dir(w[1]);
    } else if (string_icmp(name, "ScriptAlias") == 0 && w.size() >= 3) {
      if (!roots.cgi_root && (w[1] == "/cgi-bin/" || w[1] == "/cgi-bin"))
        roots.cgi_root = setup_root_dir(w[2]);
    } else if ((string_icmp(name, "Include") == 0 || string_icmp(name, "IncludeOptional") == 0) &&
               w.size() >= 2) {
      std::string pattern = join_relative(server_root_, w[1]);
      if (is_directory(pattern)) pattern += "/*";
      for (const auto& file : glob_sorted(pattern))
        if (is_regular(file)) read_file(file, depth + 1);
    }
  }

  std::string server_root_;
  int files_ = 0;
};

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

}  // namespace

std::string setup_root_dir(std::string_view value) {
  std::string dir(value);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

WebRoots setup_lighttpd_roots_from_text(std::string_view text, const std::string& dir,
                                        bool follow_includes) {
  LighttpdReader reader(dir, follow_includes);
  reader.read_text(text, 0);
  return reader.roots();
}

WebRoots setup_lighttpd_roots_from_file(const std::string& conf) {
  std::string text;
  if (!file_read_regular(conf, text, kMaxFileBytes)) return {};
  return setup_lighttpd_roots_from_text(text, dir_of(conf), true);
}

std::optional<WebRoots> setup_lighttpd_roots_from_program(const std::string& lighttpd,
                                                          const std::string& conf) {
  ProcessOptions options;
  options.argv = {lighttpd, "-p", "-f", conf};
  options.timeout_ms = 10000;
  options.max_output = kMaxFileBytes;
  ProcessResult result = process_run(options);
  if (!result.exited || result.exit_code != 0 || result.truncated) return std::nullopt;
  return setup_lighttpd_roots_from_text(result.output, dir_of(conf), false);
}

WebRoots setup_apache_roots_from_file(const std::string& conf) {
  ApacheReader reader(dir_of(conf));
  reader.read_file(conf, 0);
  return reader.roots;
}

WebRoots setup_web_roots() {
  const std::string lighttpd_conf = env_or("QUILLMERE_LIGHTTPD_CONF", "/etc/lighttpd/lighttpd.conf");
  if (is_regular(lighttpd_conf)) {
    std::string program = find_in_path("lighttpd");
    if (program.empty() && ::access("/usr/sbin/lighttpd", X_OK) == 0) program = "/usr/sbin/lighttpd";
    if (!program.empty())
      if (auto roots = setup_lighttpd_roots_from_program(program, lighttpd_conf)) return *roots;
    return setup_lighttpd_roots_from_file(lighttpd_conf);
  }
  return setup_apache_roots_from_file(env_or("QUILLMERE_APACHE_CONF", "/etc/apache2/apache2.conf"));
}

}  // namespace qm
