// Helpers of the phrase tests (see phrase_test_support.h).
#include "searcher/phrase/tests/phrase_test_support.h"

#include <fstream>
#include <stdexcept>

#include "langdata/dictionary.h"
#include "langdata/homophone.h"
#include "langdata/homophone_format.h"
#include "platform/le.h"
#include "searcher/database_search.h"
#include "searcher/phrase/phrase_hooks.h"
#include "searcher/query_evaluate.h"
#include "searcher/query_parser.h"

namespace qm::test {

namespace hf = homophone_format;

HitList phrase_run_query(const std::string& keywords, const std::vector<SearchDatabase>& databases,
                         const SearchOptions& options, const std::string& program_dir) {
  homophone_reset();
  phrase_reset();
  std::string expression = keywords;
  if (!query_parse(expression)) throw std::runtime_error("invalid keywords: " + keywords);
  QueryTermTable table = term_table_build(expression);
  HomophoneSlots slots = phrase_prepare_query(table, options.flags, program_dir);
  SearchHooks hooks;
  install_phrase_hooks(hooks, program_dir, table, options);
  TermHits lists = search_database(table, slots, databases, options, hooks);
  return query_evaluate(table, std::move(lists), hooks);
}

std::vector<uint32_t> hit_documents(const HitList& hits) {
  std::vector<uint32_t> out;
  for (const HitRecord& h : hits) out.push_back(h.document);
  return out;
}

namespace {
void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}
}  // namespace

void write_homophone_tables(const std::string& dir, const std::vector<std::vector<uint16_t>>& groups,
                            const std::map<uint16_t, std::vector<int>>& entries) {
  std::string dat;
  std::vector<uint16_t> group_offsets;
  for (const auto& g : groups) {
    group_offsets.push_back(uint16_t(dat.size()));
    for (uint16_t code : g) {  // lead byte, then trail byte
      dat.push_back(char(code >> 8));
      dat.push_back(char(code & 0xFF));
    }
    dat.push_back('\0');
  }
  std::string ref(hf::kRefEntryBase, '\0');
  std::string body(1, '\0');  // entry offsets start at 1: 0 means "none"
  for (const auto& [code, indexes] : entries) {
    const size_t at = hf::big5_ref_index(static_cast<unsigned char>(code >> 8),
                                         static_cast<unsigned char>(code & 0xFF)) * 2;
    const uint16_t value = uint16_t(body.size());
    ref[at] = char(value & 0xFF);
    ref[at + 1] = char(value >> 8);
    body.push_back(char(indexes.size()));
    for (int g : indexes) le::append16(body, group_offsets.at(size_t(g)));
  }
  write_file(dir + "big5.ref", ref + body);
  write_file(dir + "big5.dat", dat);
}

void write_phrase_file(const std::string& dir, int n, const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += w + "\r\n";
  write_file(dir + "phrase-" + std::to_string(n) + ".txt", text);
}

}  // namespace qm::test
