// Readers of the index file set (layout in index_format.h): the open database is one
// IndexFileSet, memory-mapped read-only, with the system's flat index_* functions as thin
// wrappers over one process-wide instance (index_reset() gives tests a fresh one).
//
// One open set is one build of the database: open() maps every file it will read
// (rehash.db and property.db included) under the directory's shared lock (index_lock.h),
// so a writer replacing the set meanwhile is seen wholly or not at all, and the mappings
// stay valid until close() whatever replaces the files. A request opens each database
// once and passes the set to the search, the property step and the page (the searcher,
// marker and the desktop alike); reading a file of the directory on the side would mix
// builds.
//
// Every offset, count and length taken from a file is checked against the file sizes.
// A file that cannot be opened, or a read that would leave a file, returns false / an
// empty result and marks the set failed (failed(), until it is closed or opened again);
// the program's entry ends the run with kIndexReadError where it must (the searcher and
// marker), the desktop goes on with what could be read. Nothing here ends the process.
//
// Used by the search engine (searcher/), the lexicon, the result page, marker and the
// index writer's tests. The prefix table's builder is in prefix_table.h.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/posting.h"
#include "index/index_format.h"
#include "index/word_signature.h"

namespace qm {

inline constexpr char kIndexReadError[] = "Fail to read index file !";

struct CrossRecord {
  uint32_t fulltext_offset = 0;
  uint32_t path_offset = 0;
};

struct CharHashRecord {
  uint32_t count = 0;   // PostingEntries (character db) or CharPairRecords (phrase db)
  uint32_t offset = 0;  // byte offset in cindex.db or clist.db
};

struct CharPairRecord {
  uint16_t code = 0;    // following character, lead * 256 + trail
  uint32_t count = 0;   // PostingEntries of the pair
  uint32_t offset = 0;  // byte offset of the list in cindex.db
};

struct WordHashRecord {
  std::string word;     // up to the NUL (at most 24 bytes)
  uint32_t offset = 0;  // byte offset of the list in eindex.db
};

struct PrefixRangeRecord {
  uint32_t first = 0;  // index of the first WordHashRecord with the prefix
  uint32_t count = 0;  // number of such records (0: none)
};

using PropertyValue = int32_t;  // yyyymmdd

// A paragraph as index_read_paragraph hands it on: the kind unchanged and the text
// (its length is the stored u16 length). An absent paragraph is kind 0, empty text.
struct Paragraph {
  uint16_t kind = 0;
  std::string text;
};

// The files of the set, for index_file_bytes().
enum class IndexFile {
  Cross, Path, Fulltext, CharHash, CharPair, CharIndex, WordHash, WordSign, WordIndex,
  Property, Prefix, Count
};

// How property.db was recognised: by its size against the number of documents N.
enum class PropertyLayout {
  None,    // not opened, missing, or a size that is neither N x 4 nor N x 232
  Value,   // N x 4: one PropertyValue per document
  Record,  // N x 232: the desktop's DocPropertyRecord; the date is year/month/day
};

class IndexFileSet {
 public:
  IndexFileSet();
  ~IndexFileSet();
  IndexFileSet(const IndexFileSet&) = delete;
  IndexFileSet& operator=(const IndexFileSet&) = delete;

  // Opens the set in directory (ending with "/"): cross, path, fulltext, chash, clist
  // (only when index_type is not 0), cindex, ehash, esign, eindex, rehash.db when there,
  // and property.db (a case-blind match of the name) when with_property (its absence is
  // not an error). Closes a set opened before. Holds the shared lock while mapping; a
  // replacement that a killed writer left half done is first undone (index_replace.h).
  // A required file missing or of an impossible size, or a lock that is not had in time:
  // the read error, false, the set closed.
  bool open(const std::string& directory, int index_type, bool with_property);
  // The lexicon's subset (fulltext, chash, cindex, ehash, esign, eindex, and rehash.db
  // when there), without the lock (the lexicon folder is built with the program): false,
  // with no error reported, at the first that cannot be opened or has an impossible size.
  bool open_lexicon(const std::string& directory);
  void close();  // harmless on a closed set

  bool is_open() const { return open_; }
  // Whether an open or a read met the read error (kIndexReadError) since the set was
  // last closed.
  bool failed() const { return failed_; }
  // Marks the set failed for a read of its directory's files made through another set.
  void mark_failed() { failed_ = true; }
  // Whether the set is still the one in its directory: the cindex.db mapped is the file
  // under that name now (a replacement renames a new one in). Hold the directory's
  // shared lock (index_lock.h) around the check and what depends on it.
  bool is_current() const;
  const std::string& directory() const { return directory_; }
  uint32_t document_count() const;          // cross.db records
  bool has_char_pairs() const;              // clist.db open (phrase database)
  PropertyLayout property_layout() const { return property_layout_; }

  // ---- The original readers --------------------------------------------------------
  bool read_cross(uint32_t document, CrossRecord& out);
  bool read_char_hash(uint32_t slot, CharHashRecord& out);
  // false, reporting nothing, when property.db is absent or the document is beyond it.
  bool read_property(uint32_t document, PropertyValue& out);
  // Paragraph of the FulltextEntry at fulltext_offset; a number at or beyond the count
  // gives the empty paragraph. A damaged entry: the read error and the empty paragraph.
  Paragraph read_paragraph(uint32_t fulltext_offset, uint32_t paragraph);

  // ---- Accessors for the search side --------------------------------------------
  // The document's path text (up to its NUL, within 260 bytes).
  bool read_path(uint32_t document, std::string& out);
  // Paragraph count of the FulltextEntry at fulltext_offset.
  bool read_paragraph_count(uint32_t fulltext_offset, uint16_t& out);
  // The paragraph's kind and a view of its text inside the mapped fulltext.db (valid
  // until close). A number beyond the count: true with kind 0 and an empty view.
  bool view_paragraph(uint32_t fulltext_offset, uint32_t paragraph, uint16_t& kind,
                      std::string_view& text);
  // All of chash.db (17,954 records), for the in-memory character table.
  bool read_char_hash_table(std::vector<CharHashRecord>& out);
  // Appends count PostingEntries read at byte offset of cindex.db / eindex.db.
  bool append_char_postings(uint32_t offset, uint32_t count, std::vector<PostingEntry>& out);
  bool append_word_postings(uint32_t offset, uint32_t count, std::vector<PostingEntry>& out);
  // The count PostingEntries at byte offset of cindex.db / eindex.db as stored (8 bytes
  // each, valid until close), for reading them in place.
  bool view_char_postings(uint32_t offset, uint32_t count, std::string_view& out);
  bool view_word_postings(uint32_t offset, uint32_t count, std::string_view& out);
  // Replaces out with the count CharPairRecords at byte offset of clist.db.
  bool read_char_pairs(uint32_t offset, uint32_t count, std::vector<CharPairRecord>& out);
  // ehash.db / esign.db: number of words, one record, and a word's list in eindex.db
  // (offset and entry count, from the next record's offset or the end of eindex.db).
  uint32_t word_count() const;
  bool read_word_hash(uint32_t index, WordHashRecord& out);
  bool word_list_range(uint32_t index, uint32_t& offset, uint32_t& count);
  // Replaces out with count signatures from index first of esign.db.
  bool read_word_signatures(uint32_t first, uint32_t count, std::vector<WordSignature>& out);
  // The raw bytes of an open file (empty when absent); valid until close.
  std::string_view file_bytes(IndexFile file) const;
  // Lets the pages of the posting files read so far leave the process's memory (they
  // stay in the page cache and are read again on need). Views stay valid.
  void release_posting_pages();

 private:
  struct Mapping;
  bool open_files(const std::string& directory, const IndexFile* files, size_t n,
                  bool report);
  bool fail();  // marks the set failed; false
  bool in_file(IndexFile file, uint64_t offset, uint64_t length) const;
  bool view_postings(IndexFile file, uint32_t offset, uint32_t count, std::string_view& out);

  std::unique_ptr<Mapping> files_[size_t(IndexFile::Count)];
  std::string directory_;
  bool open_ = false;
  bool failed_ = false;
  PropertyLayout property_layout_ = PropertyLayout::None;
};

// ---- The process-wide set and the flat functions over it ----------------------------
IndexFileSet& index_set();
void index_reset();  // closes and replaces the instance (tests)

bool index_open(const std::string& directory, int index_type, bool with_property);
void index_close();
bool index_read_cross(uint32_t document, CrossRecord& out);
bool index_read_char_hash(uint32_t slot, CharHashRecord& out);
bool index_read_property(uint32_t document, PropertyValue& out);
Paragraph index_read_paragraph(uint32_t fulltext_offset, uint32_t paragraph);

// true when the eight required files exist in directory (ending with "/").
bool index_check_files(const std::string& directory);

// The signatures of the words sharing the word's prefix, through rehash.db and esign.db
// of directory. Fails (nullopt) when the word has no prefix slot, rehash.db cannot be
// opened or lacks the record, or esign.db cannot be opened or read in full. A prefix
// with no words gives count 0 and no signatures.
struct PrefixSignatures {
  uint32_t first = 0;
  uint32_t count = 0;
  std::vector<WordSignature> signatures;
};
std::optional<PrefixSignatures> index_load_prefix_signatures(const std::string& directory,
                                                             std::string_view word);
// The same from the rehash.db and esign.db mapped in an open set (nullopt also when the
// set holds no rehash.db).
std::optional<PrefixSignatures> index_load_prefix_signatures(const IndexFileSet& set,
                                                             std::string_view word);

// 1, -1 or 0 as a is greater than, less than or equal to b.
int u32_compare(uint32_t a, uint32_t b);

}  // namespace qm
