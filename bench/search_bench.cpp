// Search benchmark: generates a large database of Big5 and English text in a temporary
// directory (QM_BENCH_MB megabytes of text, 40 by default), then times sets of Chinese,
// English, phrase, fault-tolerant and boolean queries through the whole keyword road
// (parse, term table, per-database search, evaluation). Reports postings read and hits
// per second. Run: build/bench/search_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "index/index_writer.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"

// GCC 12 warns falsely (-Wrestrict, GCC bug 105329) about string concatenations that it
// inlines in this file.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

using namespace qm;

// Draws ranks 0..n-1 with a Zipf-like distribution (a few very common items).
class Zipf {
 public:
  Zipf(size_t n, double s) : cumulative_(n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) cumulative_[i] = sum += 1.0 / std::pow(double(i + 1), s);
    for (double& c : cumulative_) c /= sum;
  }
  size_t operator()(std::mt19937& rng) const {
    double u = std::uniform_real_distribution<double>(0, 1)(rng);
    auto it = std::lower_bound(cumulative_.begin(), cumulative_.end(), u);
    return std::min(size_t(it - cumulative_.begin()), cumulative_.size() - 1);
  }

 private:
  std::vector<double> cumulative_;
};

struct Corpus {
  std::string directory;
  std::vector<SearchDatabase> databases;
  std::vector<std::string> chinese, english, phrases, tolerant, boolean;
  uint64_t text_bytes = 0;
  uint32_t documents = 0;
};

std::string random_word(std::mt19937& rng) {
  std::string w;
  for (size_t n = 2 + rng() % 8; n > 0; --n) w += char('a' + rng() % 26);
  return w;
}

// Builds the corpus once for all benchmarks.
const Corpus& corpus() {
  // Never destroyed, so the exit handler below can still read it.
  static const Corpus* c = [] {
    auto out = std::make_unique<Corpus>();
    const char* mb_text = std::getenv("QM_BENCH_MB");
    const uint64_t target = uint64_t(mb_text ? std::max(1, std::atoi(mb_text)) : 40) << 20;

    std::string pattern = (std::filesystem::temp_directory_path() / "qm_search_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    out->directory = pattern + "/";

    std::mt19937 rng(12345);
    // 3,000 Big5 characters (rows 0xA4..0xC6 of common characters) and 5,000 words.
    std::vector<std::string> chars;
    for (unsigned lead = 0xA4; lead <= 0xC6 && chars.size() < 3000; ++lead)
      for (unsigned trail : {0x40u, 0x60u, 0xA1u, 0xC0u, 0xE0u})
        for (unsigned k = 0; k < 31 && chars.size() < 3000; ++k) {
          unsigned t = trail + k;
          if (t > 0xFE || (t > 0x7E && t < 0xA1)) continue;
          chars.push_back(std::string{char(lead), char(t)});
        }
    std::vector<std::string> words;
    for (size_t i = 0; i < 5000; ++i) words.push_back(random_word(rng));
    const Zipf char_rank(chars.size(), 1.0), word_rank(words.size(), 1.0);

    SearchDatabase db;
    db.id = 1;
    db.work_dir = out->directory + "db/";
    std::filesystem::create_directories(db.work_dir);
    IndexWriterOptions options;
    options.sync = false;
    IndexWriter writer(db.work_dir, options);
    std::vector<std::string> sample;  // paragraphs to take queries from
    while (out->text_bytes < target) {
      IndexDocument d;
      d.path = "/docs/" + std::to_string(out->documents) + ".htm";
      d.date = 20240101;
      for (size_t p = 1 + rng() % 6; p > 0; --p) {
        std::string text;
        for (size_t t = 20 + rng() % 200; t > 0; --t) {
          if (rng() % 3 == 0) {
            if (!text.empty()) text += ' ';
            text += words[word_rank(rng)];
            text += ' ';
          } else {
            text += chars[char_rank(rng)];
          }
        }
        out->text_bytes += text.size();
        if (rng() % 500 == 0) sample.push_back(text);
        d.paragraphs.push_back({0, std::move(text)});
      }
      writer.add_document(d);
      ++out->documents;
    }
    if (!writer.finish()) {
      std::fprintf(stderr, "index build failed: %s\n", writer.error().c_str());
      std::exit(1);
    }
    out->databases.push_back(db);

    // Queries taken from the text, so they have hits.
    auto chinese_at = [&](const std::string& text, size_t n) {
      std::vector<size_t> starts;
      for (size_t i = 0; i + 2 * n <= text.size();) {
        bool run = true;
        for (size_t k = 0; k < n && run; ++k) run = static_cast<unsigned char>(text[i + 2 * k]) >= 0xA1;
        if (run) starts.push_back(i);
        i += static_cast<unsigned char>(text[i]) >= 0xA1 ? 2 : 1;
      }
      return starts.empty() ? chars[0] + chars[1] : text.substr(starts[rng() % starts.size()], 2 * n);
    };
    auto english_at = [&](const std::string& text, bool phrase) {
      std::vector<std::string> ws;
      for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) >= 0xA1) {
          i += 2;
        } else if (text[i] >= 'a' && text[i] <= 'z') {
          size_t j = i;
          while (j < text.size() && text[j] >= 'a' && text[j] <= 'z') ++j;
          ws.push_back(text.substr(i, j - i));
          i = j;
        } else {
          ++i;
        }
      }
      if (ws.size() < 2) return words[0];
      size_t at = rng() % (ws.size() - 1);
      return phrase ? ws[at] + " " + ws[at + 1] : ws[at];
    };
    for (size_t q = 0; q < 40; ++q) {
      const std::string& text = sample[rng() % sample.size()];
      out->chinese.push_back(chinese_at(text, 2 + q % 3));
      out->english.push_back(english_at(text, false));
      out->phrases.push_back(english_at(text, true));
      out->tolerant.push_back(chinese_at(text, 4 + q % 3));
      out->boolean.push_back("(" + chinese_at(text, 2) + " + " + english_at(text, false) + ") - " +
                             chinese_at(sample[rng() % sample.size()], 3) + " " + english_at(text, false));
    }
    std::fprintf(stderr, "corpus: %u documents, %.1f MB of text in %s\n", out->documents,
                 double(out->text_bytes) / (1 << 20), out->directory.c_str());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(corpus().directory, ec);
    });
    return out.release();
  }();
  return *c;
}

void run_queries(benchmark::State& state, const std::vector<std::string>& queries, bool fault_tolerant) {
  const Corpus& c = corpus();
  SearchOptions options;
  options.flags.fault_tolerant = fault_tolerant;
  SearchStats stats;
  uint64_t hits = 0, queries_run = 0;
  for (auto _ : state) {
    for (const std::string& q : queries) {
      std::string expression = q;
      if (!query_parse(expression)) continue;
      HitList result = search_expression(expression, c.databases, options, {}, &stats);
      hits += result.size();
      ++queries_run;
      benchmark::DoNotOptimize(result.data());
    }
  }
  state.counters["postings/s"] = benchmark::Counter(double(stats.postings_read), benchmark::Counter::kIsRate);
  state.counters["hits/s"] = benchmark::Counter(double(hits), benchmark::Counter::kIsRate);
  state.counters["queries/s"] = benchmark::Counter(double(queries_run), benchmark::Counter::kIsRate);
  state.counters["postings/query"] =
      benchmark::Counter(queries_run ? double(stats.postings_read) / double(queries_run) : 0);
}

void BM_ChineseWords(benchmark::State& s) { run_queries(s, corpus().chinese, false); }
void BM_ChineseFaultTolerant(benchmark::State& s) { run_queries(s, corpus().tolerant, true); }
void BM_EnglishWords(benchmark::State& s) { run_queries(s, corpus().english, false); }
void BM_EnglishFuzzy(benchmark::State& s) { run_queries(s, corpus().english, true); }
void BM_EnglishPhrases(benchmark::State& s) { run_queries(s, corpus().phrases, false); }
void BM_Boolean(benchmark::State& s) { run_queries(s, corpus().boolean, false); }

BENCHMARK(BM_ChineseWords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChineseFaultTolerant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnglishWords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnglishFuzzy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnglishPhrases)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Boolean)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
