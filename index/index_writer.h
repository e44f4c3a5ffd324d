// IndexWriter: builds every file of an index database (layout in index_format.h) from a
// stream of documents, each a path, a date and a list of typed paragraphs of Big5/ASCII
// text. Used by the index builder program, the mkindex tool and tests; the readers are
// in index_reader.h.
//
// What the writer guarantees to the search side:
//  - documents are numbered densely from 0 in the order accepted; path.db entries are
//    contiguous in that order; property.db holds one i32 yyyymmdd per document;
//  - stored paragraph text holds only ASCII 0x20-0x7E and Big5 pairs (lead 0xA1-0xFE,
//    trail 0x40-0xFE); every other byte becomes a blank (0x20), so the text keeps its
//    length and English words never run together across a dropped byte;
//  - a paragraph longer than 65,535 bytes is split into several paragraphs of the same
//    kind, cut at a character boundary outside an English word where one lies in the
//    last 4,096 bytes of a piece (else at the last character boundary), so no position
//    wraps; paragraphs beyond 65,535 in one document are dropped (counted in stats);
//  - a path must be 1..259 bytes without NUL; a longer one rejects the document
//    (add_document gives false, the writer goes on);
//  - chash.db always has its 17,954 slots (empty ones are zero);
//  - character database: every Big5 character is posted under its slot; phrase
//    database: every two adjacent Big5 characters are posted as a pair (clist.db);
//    a Chinese position is the character's byte offset in the stored paragraph;
//  - English words are maximal runs of ASCII letters and digits, upper-cased, stored
//    up to 23 bytes (longer words share the list of their first 23); a word's position
//    is its ordinal among the paragraph's English words; ehash.db is sorted by bytes with
//    the lists contiguous in eindex.db in that order; rehash.db is the prefix table;
//  - a character database writes no clist.db and removes a stale one.
//
// Memory: postings are kept delta-coded in memory; past the memory budget they are
// spilled as sorted runs to temporary files in the target directory and merged at the
// end (at most 64 at a time; more are merged in groups first), so memory stays bounded
// whatever the collection size. The files are byte-identical whatever the budget. Every file is written under
// a temporary name; when the whole set is complete it replaces the old one under the
// directory's lock (index_replace.h), so readers see the old set or the new one, never a
// mix. A failed or abandoned build, or a failed rename, leaves the previous database as it
// was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct IndexParagraph {
  uint16_t kind = 0;
  std::string text;  // Big5/ASCII; sanitised by the writer
};

struct IndexDocument {
  std::string path;   // stored as given in path.db
  int32_t date = 0;   // yyyymmdd, for property.db
  std::vector<IndexParagraph> paragraphs;
};

struct IndexWriterOptions {
  bool phrase = false;                     // SaveFile 1: character pairs and clist.db
  // Memory for postings and their key tables (growth room included) before a run is
  // spilled; capped at 3 GiB. Beyond it the writer holds about 2 MB of file buffers and,
  // while merging, up to 64 run buffers of 64 KiB.
  size_t memory_budget = size_t(128) << 20;
  bool sync = true;                        // fsync each file before renaming it
  // Tests only: called in place of rename(2) for each file put in place (index_replace.h).
  std::function<int(const std::string& from, const std::string& to)> rename_hook;
};

struct IndexWriterStats {
  uint32_t documents = 0;
  uint32_t rejected_documents = 0;
  uint64_t paragraphs = 0;
  uint64_t split_paragraphs = 0;    // pieces added by splitting long paragraphs
  uint64_t dropped_paragraphs = 0;  // beyond 65,535 in a document
  uint64_t text_bytes = 0;
  uint64_t char_postings = 0;       // characters or character pairs
  uint64_t word_postings = 0;
  uint64_t char_keys = 0;           // after finish: characters or pairs with a list
  uint64_t words = 0;               // after finish: ehash.db records
  uint32_t runs = 0;                // spills to temporary run files
};

class IndexWriter {
 public:
  // directory ends with "/" and must exist. Check failed() after constructing.
  explicit IndexWriter(std::string directory, IndexWriterOptions options = {});
  ~IndexWriter();  // an unfinished build removes its temporary files
  IndexWriter(const IndexWriter&) = delete;
  IndexWriter& operator=(const IndexWriter&) = delete;

  // Adds the next document. false when it was rejected (bad path: the build goes on)
  // or the build failed (failed() tells); error() says why.
  bool add_document(const IndexDocument& document);
  // Writes the remaining files and renames the whole set into place. false on failure
  // (the previous files stay untouched).
  bool finish();

  bool failed() const;
  const std::string& error() const;
  const IndexWriterStats& stats() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The text as it is stored: ASCII 0x20-0x7E and Big5 pairs kept, every other byte a blank.
std::string index_sanitize_text(std::string_view text);

// Splits stored text into pieces of at most max_bytes (see above); empty text gives one
// empty piece.
std::vector<std::string_view> index_split_text(std::string_view text,
                                               size_t max_bytes = 65535);

}  // namespace qm
