// Reader of a PGX document's index stream ("indx", layout in pgx_format.h): the page
// objects (bookmarks, highlights, hyperlinks, hypertext, index entries, notes) that
// PgxPageObjects loads when a document is opened, and the keyword record that the
// keyword functions load on demand. The stream is read through a temporary copy when
// it is stored packed. paglet_table.cpp holds one PgxPageObjects per open document.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pagedoc/pgx_document.h"
#include "pagedoc/pgx_format.h"

namespace qm::pgx {

// The numbers of the block that bookmarks, highlights, hyperlinks and hypertext share,
// widened to 32 bits; the writer of the document gives them their meaning.
struct PgxObjectBlock {
  std::array<uint32_t, kObjectBlockWords> words{};  // the 12 u16 fields in stored order
  uint32_t value = 0;                               // the closing u32
  bool operator==(const PgxObjectBlock&) const = default;
};

struct PgxBookmark {
  std::string text1, text2;
  PgxObjectBlock block;
  bool operator==(const PgxBookmark&) const = default;
};

struct PgxHighlight {
  PgxObjectBlock block;
  bool operator==(const PgxHighlight&) const = default;
};

struct PgxHyperlink {
  std::string text1;
  PgxObjectBlock block;
  std::string text2;
  bool operator==(const PgxHyperlink&) const = default;
};

struct PgxHypertext {
  std::string text;
  PgxObjectBlock block;
  std::array<uint32_t, kObjectTailWords> words{};
  bool operator==(const PgxHypertext&) const = default;
};

struct PgxIndexTerm {
  std::string text;
  std::array<uint32_t, kObjectTailWords> words{};
  bool operator==(const PgxIndexTerm&) const = default;
};

struct PgxNote {
  std::string title, text;
  int32_t page = 0;  // stored as i16; pages count from 1
  std::array<uint32_t, kNoteWords> words{};
  uint32_t last = 0;  // the u16 after the six words
  int position = 0;   // 0-based place in the notes list
  bool operator==(const PgxNote&) const = default;
};

// The page objects of one open document. A document without an index stream, or
// whose stream cannot be read, has none; that is not an error.
class PgxPageObjects {
 public:
  // Fills the store from the document's first "indx" stream (read through the second
  // handle on the document file) and its "thum" table. Never fails: what cannot be
  // read stays empty.
  void load(const PgxDocument& doc);
  // Fills the six lists from an index stream held in memory.
  void load_stream(std::string_view stream);
  void release();

  const std::vector<PgxBookmark>& bookmarks() const { return bookmarks_; }
  const std::vector<PgxHighlight>& highlights() const { return highlights_; }
  const std::vector<PgxHyperlink>& hyperlinks() const { return hyperlinks_; }
  const std::vector<PgxHypertext>& hypertexts() const { return hypertexts_; }
  const std::vector<PgxIndexTerm>& index_terms() const { return index_terms_; }
  const std::vector<PgxNote>& notes() const { return notes_; }
  // The notes on this page, in list order.
  std::vector<const PgxNote*> notes_of_page(int page) const;
  // The "thum" table: its count and its 8-byte entries as stored.
  int thumb_count() const { return int(thumbs_.size() / kThumbEntrySize); }
  const std::string& thumbs() const { return thumbs_; }

  static constexpr size_t kThumbEntrySize = 8;

 private:
  void load_thumbs(const PgxDocument& doc);

  std::vector<PgxBookmark> bookmarks_;
  std::vector<PgxHighlight> highlights_;
  std::vector<PgxHyperlink> hyperlinks_;
  std::vector<PgxHypertext> hypertexts_;
  std::vector<PgxIndexTerm> index_terms_;
  std::vector<PgxNote> notes_;
  std::string thumbs_;
};

// Reads the document's first "indx" stream into `out` through its second handle:
// unpacked through a temporary file named <prefix>XXXXXX in the temporary folder
// (removed before returning) when it is stored packed, else as stored, up to its
// stored length and the end of the file. False when there is no stream (or its offset
// or length is 0) or it cannot be read.
bool read_index_stream(const PgxDocument& doc, const char* prefix, std::string& out);

// The raw keyword record: the first "KEYWOD" record of the first "XITEM " item of an
// index stream. False when the item or the record is missing, or the item's entries
// or the record run past the end of the stream.
bool find_keyword_record(std::string_view stream, std::string& record);

// Where the parts of a keyword record lie in it. Every length and the count are u16
// values checked against the record's size.
struct KeywordLayout {
  struct Span {
    size_t at = 0, length = 0;
  };
  Span id;
  std::vector<Span> keywords;
};
// False when the record is shorter than its lengths and count say.
bool parse_keyword_record(std::string_view record, KeywordLayout& out);

// Reads the document's keyword record (the index stream through a "pak" temporary
// file when packed). False when there is none or it does not hold what it says.
bool load_keyword_record(const PgxDocument& doc, std::string& record, KeywordLayout& layout);

}  // namespace qm::pgx
