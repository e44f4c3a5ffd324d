// Robustness of the setup helpers' readers against broken input: lighttpd and Apache
// configurations and page templates, made from seeds by random mutations (bytes changed,
// cut, doubled, and tokens of each syntax put in at random places). Every reading must
// end without a fault (the sanitizer build checks memory) and with bounded results.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "setup/setup_home_page.h"
#include "setup/setup_roots.h"
#include "testsupport/test_files.h"

namespace qm {
namespace {

constexpr int kRounds = 4000;

std::string mutate(std::mt19937& rng, const std::string& seed, const std::vector<std::string>& tokens) {
  std::string text = seed;
  std::uniform_int_distribution<int> steps(1, 8);
  int n = steps(rng);
  for (int i = 0; i < n; ++i) {
    size_t at = text.empty() ? 0 : std::uniform_int_distribution<size_t>(0, text.size())(rng);
    switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
      case 0:
        if (at < text.size()) text[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
        break;
      case 1:
        text.resize(at);
        break;
      case 2: {
        size_t len = std::uniform_int_distribution<size_t>(0, 64)(rng);
        text.insert(at, text.substr(at, len));
        break;
      }
      default:
        text.insert(at, tokens[std::uniform_int_distribution<size_t>(0, tokens.size() - 1)(rng)]);
        break;
    }
  }
  return text;
}

TEST(SetupFuzz, LighttpdConfigurations) {
  const std::vector<std::string> seeds = {
      "server.modules = (\"mod_alias\", \"mod_cgi\")\nvar.base = \"/srv\"\n"
      "server.document-root = var.base + \"/www/\"\n"
      "$HTTP[\"url\"] =~ \"^/cgi-bin/\" {\n\tcgi.assign = ( \"\" => \"\" )\n"
      "\talias.url += ( \"/cgi-bin/\" => \"/usr/lib/cgi-bin/\" )\n}\n"
      "else $HTTP[\"host\"] == \"x\" { server.port = 1 + 2 }\n",
      "config {\n    var.CWD = \"/\"\n    alias.url = (\n        \"/cgi-bin/\" => \"/c\\\"d\",\n    )\n}\n",
  };
  const std::vector<std::string> tokens = {"{", "}", "(", ")", ",", "=>", "=", "+=", ":=", "+", "\"", "\\",
                                           "$HTTP[\"url\"] =~ \"x\" {", "else", "global {", "include \"*\"",
                                           "var.base", "env.HOME", "alias.url", "#", "\n", "(((((", "9999999999999999999999"};
  std::mt19937 rng(20261211);
  test::TempDir dir;
  for (int i = 0; i < kRounds; ++i) {
    std::string text = mutate(rng, seeds[i % seeds.size()], tokens);
    WebRoots r = setup_lighttpd_roots_from_text(text, dir.dir(), true);
    EXPECT_LE(r.doc_root.value_or("").size(), size_t(64) << 10);
    EXPECT_LE(r.cgi_root.value_or("").size(), size_t(64) << 10);
  }
}

TEST(SetupFuzz, ApacheConfigurations) {
  const std::string seed =
      "ServerRoot \"/nowhere\"\nInclude ports.conf\n<VirtualHost *:80>\n\tDocumentRoot \"/var/www/a b\"\n"
      "</VirtualHost>\nScriptAlias /cgi-bin/ \\\n  /usr/lib/cgi-bin/\n";
  const std::vector<std::string> tokens = {"\"", "'", "\\", "\\\n", "DocumentRoot", "ScriptAlias /cgi-bin/ ",
                                           "Include *", "IncludeOptional .", "<", "#", "\n", "\r", "\t"};
  std::mt19937 rng(11122026);
  test::TempDir dir;
  const std::string file = dir / "apache2.conf";
  for (int i = 0; i < kRounds; ++i) {
    test::write_file(file, mutate(rng, seed, tokens));
    WebRoots r = setup_apache_roots_from_file(file);
    EXPECT_LE(r.doc_root.value_or("").size(), size_t(4) << 20);
  }
}

TEST(SetupFuzz, PageTemplates) {
  const std::vector<std::string> seeds = {
      "<form action=\"<!% SearcherURL %!>\">\n<!% T_Loop 3 %!>row <!% SysadmURL %!>\n<!% /T_Loop %!>\n"
      "<!% T_Declare %!><!% T_CONST a=b %!><!% /T_Declare %!><!% SQL_CMD select 1 %!>\n",
  };
  const std::vector<std::string> tokens = {"<!%", "%!>", "<!% T_Loop 9999 %!>", "<!% /T_Loop %!>",
                                           "<!% T_Declare %!>", "<!% /T_Declare %!>", "<!% SearcherURL %!>",
                                           "T_", "/T_", "SQL", " ", "\t", "\r", "SELECT", "="};
  std::mt19937 rng(42);
  for (int i = 0; i < kRounds; ++i) {
    HomePageTemplate t = HomePageTemplate::parse(mutate(rng, seeds[0], tokens));
    t.set_value("SearcherURL", "/cgi-bin/qm/searcher");
    t.set_value("SysadmURL", "/cgi-bin/qm/sysadm");
    EXPECT_LE(t.render().size(), size_t(80) << 20);
  }
}

}  // namespace
}  // namespace qm
