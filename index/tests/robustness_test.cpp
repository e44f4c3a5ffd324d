// Robustness of the index readers against damaged files: seeded random corruptions of
// one file of a valid index set at a time (byte flips, truncations, extreme u16/u32
// fields, appended garbage), then every record read through every accessor. Nothing may
// crash or read outside a file (the sanitizers watch, and every view handed out must lie
// inside its mapped file), every failure must be the read error, and damage to bytes
// the readers never look at must change nothing.
#include <gtest/gtest.h>

#include <map>

#include "index/index_reader.h"
#include "index/tests/fixture.h"
#include "testsupport/corrupt.h"
#include "platform/fatal.h"
#include "platform/le.h"

namespace qm {
namespace {

namespace fmt = index_format;
using test::Corruptor;
using test::Edit;
using test::Edits;
using test::Ranges;

bool inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// Reads every record of the set in `dir` and describes what it read; results that no
// reader documents go to `faults`. Reads return past a failure, so the walk goes on;
// a set that met the read error adds kIndexReadError to `reported`.
std::string read_set(const std::string& dir, int index_type, std::vector<std::string>& faults,
                     std::vector<std::string>& reported) {
  std::string out;
  auto note = [&](auto... parts) { ((out += std::to_string(parts) + " "), ...); };
  IndexFileSet set;
  if (!set.open(dir, index_type, true)) {
    if (set.failed()) reported.push_back(kIndexReadError);
    return "no open";
  }
  if (IndexFileSet lexicon; !lexicon.open_lexicon(dir))
    faults.push_back("the lexicon subset does not open where the whole set does");
  note(int(set.property_layout()));

  for (uint32_t d = 0; d < set.document_count(); ++d) {
    CrossRecord cross;
    bool ok = set.read_cross(d, cross);
    note(ok, cross.fulltext_offset, cross.path_offset);
    std::string path;
    if (set.read_path(d, path)) {
      if (path.size() >= fmt::kMaxPathBytes) faults.push_back("a path of " + std::to_string(path.size()) + " bytes");
      out += path + " ";
    }
    PropertyValue date = 0;
    note(set.read_property(d, date), date);
    uint16_t count = 0;
    if (!set.read_paragraph_count(cross.fulltext_offset, count)) continue;
    for (uint32_t p = 0; p <= count; ++p) {
      uint16_t kind = 0;
      std::string_view text;
      note(set.view_paragraph(cross.fulltext_offset, p, kind, text), kind);
      if (!inside(text, set.file_bytes(IndexFile::Fulltext))) faults.push_back("a paragraph outside fulltext.db");
      Paragraph copy = set.read_paragraph(cross.fulltext_offset, p);
      if (copy.text != text || copy.kind != kind) faults.push_back("the two paragraph readers differ");
      out += std::string(text) + "\n";
    }
  }

  std::vector<CharHashRecord> table;
  std::vector<PostingEntry> postings;
  std::vector<CharPairRecord> pairs;
  if (set.read_char_hash_table(table)) {
    for (uint32_t slot = 0; slot < fmt::kCharSlots; ++slot) {
      if (table[slot].count == 0) continue;
      CharHashRecord h;
      if (!set.read_char_hash(slot, h) || h.count != table[slot].count || h.offset != table[slot].offset)
        faults.push_back("the character table and read_char_hash differ");
      note(slot, h.count, h.offset);
      if (!set.has_char_pairs()) {
        note(set.append_char_postings(h.offset, h.count, postings));
        continue;
      }
      note(set.read_char_pairs(h.offset, h.count, pairs));
      for (const CharPairRecord& pr : pairs) note(pr.code, pr.count, pr.offset, set.append_char_postings(pr.offset, pr.count, postings));
    }
  }

  std::vector<WordSignature> signatures;
  note(set.read_word_signatures(0, set.word_count(), signatures), signatures.size());
  for (const WordSignature& s : signatures) note(s.letters, s.transitions);
  std::vector<std::string> words = {"HE", "A", "Z9", "0"};
  for (uint32_t w = 0; w < set.word_count(); ++w) {
    WordHashRecord rec;
    if (set.read_word_hash(w, rec)) {
      if (rec.word.size() > fmt::kWordTextSize) faults.push_back("a word longer than its record");
      out += rec.word + " ";
      words.push_back(rec.word);
    }
    uint32_t offset = 0, count = 0;
    if (set.word_list_range(w, offset, count)) note(offset, count, set.append_word_postings(offset, count, postings));
  }
  for (const PostingEntry& e : postings) note(e.document, e.paragraph, e.position);

  for (const std::string& word : words) {
    auto prefix = index_load_prefix_signatures(dir, word);
    if (!prefix) continue;
    if (prefix->signatures.size() != prefix->count) faults.push_back("prefix signatures of the wrong count");
    note(prefix->first, prefix->count);
    for (const WordSignature& s : prefix->signatures) note(s.letters, s.transitions);
  }
  if (set.failed()) reported.push_back(kIndexReadError);
  return out;
}

struct FileCase {
  const char* file;
  Ranges unread;      // bytes no reader looks at
  bool append_harmless;  // garbage after the end changes nothing
};

// The bytes of the 24-byte word texts after each word's NUL.
Ranges word_padding(const std::string& ehash) {
  Ranges r;
  for (size_t at = 0; at + fmt::kWordHashRecordSize <= ehash.size(); at += fmt::kWordHashRecordSize) {
    size_t nul = ehash.find('\0', at);
    if (nul + 1 < at + fmt::kWordTextSize) r.push_back({nul + 1, at + fmt::kWordTextSize});
  }
  return r;
}

// The two unused bytes of every CharPairRecord.
Ranges pair_padding(const std::string& clist) {
  Ranges r;
  for (size_t at = 0; at + fmt::kCharPairRecordSize <= clist.size(); at += fmt::kCharPairRecordSize)
    r.push_back({at + 2, at + 4});
  return r;
}

// The records of the character slots that are in use: where damage to chash.db matters.
Ranges used_slots(const std::string& chash) {
  Ranges r;
  for (size_t at = 0; at + fmt::kCharHashRecordSize <= chash.size(); at += fmt::kCharHashRecordSize)
    if (le::get32(reinterpret_cast<const unsigned char*>(chash.data()) + at) != 0)
      r.push_back({at, at + fmt::kCharHashRecordSize});
  return r;
}

TEST(IndexRobustness, CorruptFilesReadSafely) {
  constexpr int kVariants = 200;  // per database kind

  test::VariantTrace trace;
  Corruptor corrupt(1120);
  int failed_variants = 0;
  std::vector<std::string> reported;

  for (bool phrase : {false, true}) {
    test::TempDir dir;
    IndexWriterOptions options;
    options.phrase = phrase;
    test::build(dir.path(), test::small_fixture(), options);
    const int type = phrase ? 1 : 0;
    std::map<std::string, std::string> pristine;
    for (const std::string& name : test::list_dir(dir.path())) pristine[name] = test::read_file(dir / name);
    ASSERT_EQ(pristine.count("clist.db"), size_t(phrase));

    std::vector<std::string> faults;
    const std::string baseline = read_set(dir.path(), type, faults, reported);
    ASSERT_TRUE(faults.empty()) << faults[0];
    ASSERT_TRUE(reported.empty()) << reported[0];

    const FileCase files[] = {
        {"cross.db", {}, false},
        {"path.db", {}, true},
        {"fulltext.db", {}, true},
        {"chash.db", {}, false},
        {"cindex.db", {}, false},
        {"ehash.db", word_padding(pristine["ehash.db"]), false},
        {"esign.db", {}, false},
        {"eindex.db", {}, false},
        {"rehash.db", {}, true},
        {"property.db", {}, false},
        {"clist.db", phrase ? pair_padding(pristine["clist.db"]) : Ranges{}, false},
    };
    const Ranges chash_used = used_slots(pristine["chash.db"]);

    auto run = [&](const FileCase& f, const Edits& edits, bool harmless) {
      std::string bytes = pristine[f.file];
      test::apply_edits(bytes, edits);
      trace.set(std::string(phrase ? "phrase " : "character ") + f.file, edits);
      test::write_file(dir / f.file, bytes);
      std::vector<std::string> faults;
      reported.clear();
      std::string got = read_set(dir.path(), type, faults, reported);
      for (const std::string& m : reported)
        if (m != kIndexReadError) faults.push_back("reported \"" + m + "\"");
      if (harmless && (got != baseline || !reported.empty())) faults.push_back("a change to unread bytes changed the result");
      test::write_file(dir / f.file, pristine[f.file]);
      if (faults.empty() || ++failed_variants > 5) return;
      std::string all;
      for (const auto& s : faults) all += "\n  " + s;
      ADD_FAILURE() << (phrase ? "phrase " : "character ") << f.file << " {" << test::describe(edits) << "}:" << all;
    };

    for (int i = 0; i < kVariants; ++i) {
      const FileCase& f = files[size_t(i) % (phrase ? std::size(files) : std::size(files) - 1)];
      const std::string& original = pristine[f.file];
      bool harmless = i % 6 == 0 && (!f.unread.empty() || f.append_harmless);
      Edits edits;
      if (harmless) {
        // Only ranges, or only appending, as the file allows.
        edits = corrupt.harmless(f.unread);
        if (!f.append_harmless)
          std::erase_if(edits, [](const Edit& e) { return e.kind == Edit::Append; });
      } else if (std::string_view(f.file) == "chash.db" && corrupt.below(4) != 0) {
        // Most damage to chash.db goes to the slots in use, which the readers follow.
        auto [lo, hi] = chash_used[corrupt.below(chash_used.size())];
        edits = corrupt.any(hi - lo);
        for (Edit& e : edits)
          if (e.kind != Edit::Append) e.at += lo;
      } else {
        edits = corrupt.any(original.size());
      }
      run(f, edits, harmless);
    }
  }
  fatal_reset();
}

}  // namespace
}  // namespace qm
