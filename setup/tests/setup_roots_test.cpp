// Tests of what the setup helpers read from other programs' files: the desktop entry's
// Exec line of the default browser, and the web-server roots: lighttpd configurations (Debian's default with its CGI
// part, a top-level alias, variables, "+=", include globs, escapes) read alike by
// `lighttpd -p` and by our own file reader, and an Apache configuration with includes.
#include "setup/setup_roots.h"

#include "setup/setup_browser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "testsupport/test_files.h"

namespace qm {
namespace {

using test::TempDir;
using test::write_file;

constexpr const char* kLighttpd = "/usr/sbin/lighttpd";

struct Fixture {
  const char* name;
  const char* doc_root;
  const char* cgi_root;  // "" for none
};

// Writes the fixture's files under dir (the main file is dir/lighttpd.conf).
void lay_out(const std::string& name, const TempDir& dir) {
  const std::string d = dir.path();
  if (name == "debian") {
    dir.sub("conf-enabled");
    write_file(d + "lighttpd.conf",
               "server.modules = (\n\t\"mod_indexfile\",\n\t\"mod_access\",\n\t\"mod_alias\",\n"
               " \t\"mod_redirect\",\n)\n\n"
               "server.document-root        = \"/var/www/html\"\n"
               "server.upload-dirs          = ( \"/var/cache/lighttpd/uploads\" )\n"
               "server.errorlog             = \"/var/log/lighttpd/error.log\"\n"
               "server.pid-file             = \"/run/lighttpd.pid\"\n"
               "server.port                 = 80\n"
               "server.feature-flags       += (\"server.h2proto\" => \"enable\")\n"
               "index-file.names            = ( \"index.php\", \"index.html\" )\n"
               "url.access-deny             = ( \"~\", \".inc\" )\n"
               "include_shell \"/usr/share/lighttpd/create-mime.conf.pl\"\n"
               "include \"" + d + "conf-enabled/*.conf\"\n"
               "server.modules += (\n\t\"mod_dirlisting\",\n\t\"mod_staticfile\",\n)\n");
    write_file(d + "conf-enabled/10-cgi.conf",
               "# /usr/share/doc/lighttpd/cgi.txt\n\nserver.modules += ( \"mod_cgi\" )\n\n"
               "$HTTP[\"url\"] =~ \"^/cgi-bin/\" {\n\tcgi.assign = ( \"\" => \"\" )\n"
               "\talias.url += ( \"/cgi-bin/\" => \"/usr/lib/cgi-bin/\" )\n}\n");
    write_file(d + "conf-enabled/90-javascript-alias.conf",
               "alias.url += ( \"/javascript\" => \"/usr/share/javascript\" )\n");
  } else if (name == "toplevel") {
    dir.sub("inc");
    write_file(d + "lighttpd.conf",
               "# a site of its own\nvar.base = \"/srv/site\"\n"
               "server.modules = (\"mod_alias\", \"mod_cgi\")\n"
               "server.document-root = var.base + \"/www/\"\n"
               "server.port = 8080\n"
               "include \"inc/*.conf\"\n"
               "alias.url += (\"/cgi-bin/\" => var.base + \"/cgi-bin/\")\n"
               "$HTTP[\"host\"] == \"other\" { server.document-root = \"/elsewhere\" }\n"
               "else $HTTP[\"host\"] == \"third\" { alias.url = (\"/cgi-bin/\" => \"/wrong\") }\n");
    write_file(d + "inc/a.conf", "alias.url = (\"/icons/\" => \"/usr/share/icons/\")\n");
    write_file(d + "inc/b.conf", "var.unused = 1 + 2\n");
  } else if (name == "escapes") {
    write_file(d + "lighttpd.conf",
               "server.modules = (\"mod_alias\")\n"
               "var.q = \"we\\\"b\"\n"
               "server.document-root = \"/srv/\" + var.q + \"\\\\root\"\n"
               "server.port = 8080\n"
               "$HTTP[\"url\"] =^ \"/cgi-bin/\" {\n"
               "  $HTTP[\"host\"] == \"x\" { alias.url = (\"/cgi-bin/\" => \"/inner\") }\n"
               "  alias.url = (\"/other/\" => \"/o\", \"/cgi-bin/\" => \"/srv/c\\\"gi/\")\n"
               "}\n");
  } else if (name == "nocgi") {
    write_file(d + "lighttpd.conf",
               "server.document-root = \"/\"\nserver.port = 8080\nserver.modules = (\"mod_alias\")\n"
               "alias.url = (\"/cgi-bin/searcher\" => \"/srv/bin/searcher\")\n");
  }
}

TEST(SetupRoots, LighttpdFilesAndLighttpdOutputAgree) {
  const Fixture fixtures[] = {
      {"debian", "/var/www/html", "/usr/lib/cgi-bin"},
      {"toplevel", "/srv/site/www", "/srv/site/cgi-bin"},
      {"escapes", "/srv/we\"b\\root", "/srv/c\"gi"},
      {"nocgi", "/", ""},
  };
  const bool have_lighttpd = ::access(kLighttpd, X_OK) == 0;
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    TempDir dir;
    lay_out(f.name, dir);
    const std::string conf = dir / "lighttpd.conf";
    WebRoots ours = setup_lighttpd_roots_from_file(conf);
    ASSERT_TRUE(ours.doc_root);
    EXPECT_EQ(*ours.doc_root, f.doc_root);
    EXPECT_EQ(ours.cgi_root.value_or(""), f.cgi_root);
    if (!have_lighttpd) continue;
    auto theirs = setup_lighttpd_roots_from_program(kLighttpd, conf);
    ASSERT_TRUE(theirs) << "lighttpd -p refused the fixture";
    EXPECT_EQ(theirs->doc_root, ours.doc_root);
    EXPECT_EQ(theirs->cgi_root, ours.cgi_root);
  }
}

TEST(SetupRoots, BrokenLighttpdFilesGiveWhatWasReadBeforeTheFault) {
  TempDir dir;
  const std::string conf = dir / "lighttpd.conf";
  write_file(conf, "server.document-root = \"/a\"\nalias.url = (\"/cgi-bin/\" => \"/c\"\n");
  WebRoots r = setup_lighttpd_roots_from_file(conf);
  EXPECT_EQ(r.doc_root.value_or(""), "/a");
  EXPECT_FALSE(r.cgi_root);
  EXPECT_FALSE(setup_lighttpd_roots_from_file(dir / "missing.conf").doc_root);
  // An include of itself stops at the depth limit.
  write_file(conf, "include \"lighttpd.conf\"\nserver.document-root = \"/self\"\n");
  EXPECT_EQ(setup_lighttpd_roots_from_file(conf).doc_root.value_or(""), "/self");
  // Values built of copies of themselves stop growing.
  std::string grow = "var.a = (\"x\")\n";
  for (int i = 0; i < 60; ++i) grow += "var.a = (var.a, var.a)\n";
  grow += "server.document-root = \"/after\"\n";
  write_file(conf, grow);
  EXPECT_FALSE(setup_lighttpd_roots_from_file(conf).doc_root);
}

TEST(SetupRoots, ApacheWithIncludes) {
  TempDir dir;
  const std::string d = dir.path();
  dir.sub("sites-enabled");
  dir.sub("conf-enabled");
  write_file(d + "apache2.conf",
             "ServerRoot \"" + d.substr(0, d.size() - 1) + "\"\n"
             "# DocumentRoot /commented\n"
             "Include ports.conf\n"
             "<Directory /var/www/>\n\tOptions Indexes FollowSymLinks\n</Directory>\n"
             "IncludeOptional conf-enabled/*.conf\n"
             "IncludeOptional sites-enabled/*.conf\n");
  write_file(d + "ports.conf", "Listen 80\n");
  write_file(d + "sites-enabled/000-default.conf",
             "<VirtualHost *:80>\n\tServerAdmin webmaster@localhost\n"
             "\tDocumentRoot \"/var/www/my site/\"\n</VirtualHost>\n");
  write_file(d + "conf-enabled/serve-cgi-bin.conf",
             "<IfModule mod_alias.c>\n\t<IfDefine ENABLE_USR_LIB_CGI_BIN>\n"
             "\t\tScriptAlias /cgi-bin/ \\\n\t\t  /usr/lib/cgi-bin/\n"
             "\t</IfDefine>\n</IfModule>\n");
  WebRoots r = setup_apache_roots_from_file(d + "apache2.conf");
  EXPECT_EQ(r.doc_root.value_or(""), "/var/www/my site");
  EXPECT_EQ(r.cgi_root.value_or(""), "/usr/lib/cgi-bin");
  EXPECT_FALSE(setup_apache_roots_from_file(d + "none.conf").doc_root);
}

TEST(SetupBrowserEntry, ExecLineWords) {
  struct Case {
    const char* exec;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"firefox %u", {"firefox", "%s"}},
      {"/usr/bin/chromium --new-window %U", {"/usr/bin/chromium", "--new-window", "%s"}},
      {"\"/opt/my browser/run\" --x=\"a\\\"b\" %F %i %c", {"/opt/my browser/run", "--x=a\"b", "%s"}},
      {"b 100%%", {"b", "100%"}},
      {"  ", {}},
      {"b \"\"", {"b", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exec);
    EXPECT_EQ(setup_desktop_exec_words(c.exec), c.words);
  }
  BrowserCommand b{"/usr/bin/b", {"--a=%s", "%s"}};
  EXPECT_EQ(setup_browser_argv(b, "http://h/"),
            (std::vector<std::string>{"/usr/bin/b", "--a=http://h/", "http://h/"}));
  b.args = {"--new"};
  EXPECT_EQ(setup_browser_argv(b, "http://h/"), (std::vector<std::string>{"/usr/bin/b", "--new", "http://h/"}));
}

}  // namespace
}  // namespace qm
