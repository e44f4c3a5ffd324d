// Per-database search: every word of the term table is searched in every chosen
// database, giving one HitRecord list per term entry (records of one database after
// those of the previous one, in posting order within a database). Chinese words are
// found from their characters' posting lists (postings.h), English words and phrases
// through english_match.h; with the cache on, each word's hits in each database are
// written to and read back from its KeywordCacheFile (keyword_cache.h).
// Reads the index files through index/index_reader.h; query_evaluate.h combines the lists.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/index_reader.h"
#include "searcher/english_match.h"
#include "searcher/hits.h"
#include "searcher/postings.h"
#include "searcher/query_parser.h"
#include "searcher/search_options.h"

namespace qm {

// One hit list per entry of the term table (operators keep an empty list).
using TermHits = std::vector<HitList>;

// The hits of a Chinese word in the open set: one record per hit (score 1, hit count 1,
// the position of its first character). database is the id put in the records.
// documents, when given, keeps the hits to those documents; range to a run of documents.
// per_document gives instead one record per document, as hits_collapse_documents would
// make of the hits.
HitList search_chinese_word(IndexFileSet& set, uint16_t database, const CharacterSlots& word,
                            const SearchOptions& options, const SearchHooks& hooks = {},
                            SearchStats* stats = nullptr, const DocumentSet* documents = nullptr,
                            bool per_document = false, DocumentRange range = {});

// The hits of an English word or phrase in the open set (position 0xFFFF).
HitList search_english_word(IndexFileSet& set, uint16_t database, std::string_view word,
                            const SearchOptions& options, SearchStats* stats = nullptr,
                            const DocumentSet* documents = nullptr, bool per_document = false,
                            DocumentRange range = {}, EnglishLookups* lookups = nullptr);

// Searches every database of the context in order for every word of its table. slots:
// one entry per Chinese word of the table (homophone_slots_plain without homophones). A database whose
// files cannot be opened is skipped, its set reporting the read error; an exhausted heap
// gives std::bad_alloc to the caller.
// for_evaluation: the lists go to query_evaluate, which keeps one record per document;
// a lone word's list, or that of a word only taken away by "-", may then be given in
// that form already.
TermHits search_database(const SearchContext& context, bool for_evaluation = false);

// The same search for the evaluation, run by run of documents: where the lists of a query
// of several words are long, each database is searched a run of documents at a time and
// block receives the term lists of each run, runs and databases in order. Every operator
// works document by document, so evaluating run by run gives what evaluating the whole
// lists gives, while only one run's hits are held. False, with nothing searched, when the
// query is not searched so (one word, the cache on, a phrase database, databases not in
// ascending id order); the caller then uses search_database.
bool search_database_runs(const SearchContext& context, const std::function<void(TermHits& lists)>& block);

}  // namespace qm
