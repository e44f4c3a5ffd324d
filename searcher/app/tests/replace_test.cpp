// A database rebuilt again and again while searches run: the writer alternates between
// two collections with every rename slowed down, and searcher processes page through
// hits, sort them by date and search with homophones meanwhile. Every page must be whole
// and equal the page of one of the two builds, never a mix of them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fixture.h"
#include "index/index_writer.h"

namespace qm::test {
namespace {

// Collection "a" or "b": documents that all hold "tea" and 茶 (AF F9), some 查 (AC 64,
// read alike), with paths, titles and dates of their own build.
std::vector<IndexDocument> collection(char name, int count) {
  std::vector<IndexDocument> docs;
  for (int i = 0; i < count; ++i) {
    IndexDocument d;
    d.path = std::string(1, name) + "/note" + std::to_string(i) + ".txt";
    d.date = 20000101 + (name == 'a' ? 10000 : 20000) + (i * 37 % 12) * 100 + i % 28;
    const std::string n = std::to_string(i);
    d.paragraphs.push_back({1, std::string("Build ") + name + " note " + n});
    std::string body = "Tea note " + n + " of build " + name + ": \xAF\xF9 tea ";
    if (i % 3 == 0) body += "\xAC\x64 ";
    body += std::string(static_cast<size_t>(i % 5 + 1), name) + " tea.";
    d.paragraphs.push_back({0, body});
    docs.push_back(std::move(d));
  }
  return docs;
}

void build(const std::string& dir, const std::vector<IndexDocument>& docs, bool slow) {
  IndexWriterOptions options;
  options.sync = false;
  if (slow)
    options.rename_hook = [](const std::string& from, const std::string& to) {
      ::usleep(2000);
      return std::rename(from.c_str(), to.c_str());
    };
  IndexWriter writer(dir, options);
  for (const IndexDocument& d : docs) ASSERT_TRUE(writer.add_document(d)) << writer.error();
  ASSERT_TRUE(writer.finish()) << writer.error();
}

TEST(SearcherDuringRebuilds, EveryPageIsOneBuildsPage) {
  SearcherSite site;
  const std::string db = site.root() + "db/swap/";
  std::filesystem::create_directories(db);
  write_file(site.bin() + "swap.ini",
             "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/index.htm\nSystemAdm=admin@example.com\n"
             "TmplFirstQuery=search_result.htm\nTmplNextQuery=search_next.htm\nTmplZeroHit=zero_hit.htm\n"
             "TmplError=error.htm\n[INDEX]\n1=1\n[DB-1]\nWorkDir=" + db +
                 "\nHomeUrl=/docs/\nDescription=Notes\n");
  const std::vector<std::string> queries = {
      "s=1&p=tea&a=10&d=swap.ini",                     // first page
      "s=1&p=tea&a=10&b=11&d=swap.ini",                // second page
      "s=1&p=tea&a=10&o=4&d=swap.ini",                 // newest first
      "s=1&p=%AF%F9&h=1&a=10&d=swap.ini",              // 茶 with homophones
      "s=1&z=20000101%2C20301231&o=3&a=10&d=swap.ini",  // by date, without keywords
  };
  const std::vector<IndexDocument> docs[2] = {collection('a', 37), collection('b', 29)};

  auto page = [&](const std::string& query) {
    return run_program({site.program()}, {"REQUEST_METHOD=GET", "QUERY_STRING=" + query});
  };
  // The pages of each build, the queries run side by side.
  std::vector<RunResult> expected_runs[2];
  std::vector<std::string> expected[2];
  for (int b = 0; b < 2; ++b) {
    build(db, docs[b], false);
    expected_runs[b].resize(queries.size());
    std::vector<std::thread> runners;
    for (size_t q = 0; q < queries.size(); ++q)
      runners.emplace_back([&, b, q] { expected_runs[b][q] = page(queries[q]); });
    for (std::thread& t : runners) t.join();
    for (size_t q = 0; q < queries.size(); ++q) {
      const RunResult& r = expected_runs[b][q];
      ASSERT_EQ(r.exit_code, 0) << queries[q] << "\n" << r.out;
      ASSERT_NE(r.out.find("note"), std::string::npos) << queries[q] << "\n" << r.out;  // hits listed
      expected[b].push_back(r.out);
    }
  }
  for (size_t q = 0; q < queries.size(); ++q) ASSERT_NE(expected[0][q], expected[1][q]) << queries[q];

  std::atomic<bool> done{false};
  std::atomic<int> runs{0};
  std::mutex mutex;
  std::vector<std::string> faults;
  auto searcher_loop = [&](size_t first) {
    for (size_t k = first; !done; ++k) {
      const size_t q = k % queries.size();
      const RunResult r = page(queries[q]);
      ++runs;
      if (r.exit_code != 0 || (r.out != expected[0][q] && r.out != expected[1][q])) {
        std::lock_guard<std::mutex> hold(mutex);
        faults.push_back(queries[q] + " exit " + std::to_string(r.exit_code) + ":\n" + r.out);
      }
    }
  };
  std::vector<std::thread> searchers;
  for (size_t t = 0; t < 3; ++t) searchers.emplace_back(searcher_loop, t * 2);
  for (int rebuild = 0; rebuild < 50; ++rebuild) build(db, docs[rebuild % 2], true);
  done = true;
  for (std::thread& t : searchers) t.join();

  EXPECT_GE(runs.load(), 3);
  EXPECT_TRUE(faults.empty()) << faults.size() << " bad pages; the first:\n" << faults.front();
  for (size_t q = 0; q < queries.size(); ++q) EXPECT_EQ(page(queries[q]).out, expected[1][q]);
}

}  // namespace
}  // namespace qm::test
