// IndexWriter: builds an index database (see index_writer.h for the guarantees and
// index_format.h for the layouts). Postings are held delta-coded per key in a block
// arena; past the memory budget each store is spilled as a key-sorted run file; finish()
// merges the runs and the last in-memory state key by key into the posting files
// (run_merge.h), writing through the buffered files of buffered_file.h.
#include "index/index_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <queue>
#include <stdexcept>

#include "common/strings.h"
#include "index/buffered_file.h"
#include "index/index_format.h"
#include "index/index_replace.h"
#include "index/prefix_table.h"
#include "index/run_merge.h"
#include "index/word_signature.h"
#include "platform/le.h"

namespace qm {

namespace fmt = index_format;
using namespace index_build;

namespace {

constexpr uint32_t kNone = UINT32_MAX;

inline bool alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ---- Delta-coded postings in a block arena -------------------------------------------
//
// A key's postings form a chain of blocks [u32 next][payload]; payload sizes grow
// 12, 28, 60, ... up to 4,092 bytes so rare keys waste little and frequent ones chain
// few blocks. Postings are coded as run files code them (run_merge.h).

constexpr uint32_t kFirstBlock = 16;   // bytes, link included
constexpr uint32_t kLastBlock = 4096;
constexpr uint32_t kSlabSize = 1u << 20;
constexpr uint32_t next_block(uint32_t size) { return size >= kLastBlock ? kLastBlock : size * 2; }

class PostingStore {
 public:
  struct Key {
    uint32_t head = kNone;
    uint32_t tail = kNone;
    uint32_t count = 0;
    uint32_t last_document = 0;
    uint16_t last_paragraph = 0;
    uint16_t last_position = 0;
    uint16_t used = 0;        // payload bytes used in the tail block
    uint16_t block_size = 0;  // size of the tail block, link included
  };

  uint32_t add_key() {
    keys_.emplace_back();
    return uint32_t(keys_.size() - 1);
  }
  size_t key_count() const { return keys_.size(); }
  const Key& key(uint32_t id) const { return keys_[id]; }

  void add(uint32_t id, uint32_t document, uint16_t paragraph, uint16_t position) {
    Key& k = keys_[id];
    unsigned char buf[16] = {};
    size_t n = encode_posting(buf, k.last_document, k.last_paragraph, k.last_position, document,
                              paragraph, position);
    k.last_document = document;
    k.last_paragraph = paragraph;
    k.last_position = position;
    ++k.count;
    append(k, buf, n);  // buf is 16 bytes, n at most 11
  }

  // The key vector counts twice: growing it holds the old and the new array at once.
  size_t memory() const { return slabs_.size() * size_t(kSlabSize) + 2 * keys_.capacity() * sizeof(Key); }

  void clear() {
    keys_.clear();
    keys_.shrink_to_fit();
    slabs_.clear();
    slab_used_ = kSlabSize;
  }

  // Calls fn(bytes, n) for each stretch of a key's coded postings, in order.
  template <class Fn>
  void for_each_chunk(const Key& k, Fn fn) const {
    for (uint32_t size = kFirstBlock, block = k.head;; size = next_block(size)) {
      if (block == k.tail) {
        fn(at(block) + 4, size_t(k.used));
        return;
      }
      fn(at(block) + 4, size_t(size - 4));
      block = load32(block);
    }
  }

  // Walks the payload bytes of a key's chain.
  class Reader {
   public:
    Reader(const PostingStore& store, const Key& k) : store_(store), key_(k) { enter(k.head, kFirstBlock); }
    unsigned char get() {
      if (pos_ == end_) enter(store_.load32(block_), next_block(size_));
      return *pos_++;
    }
    uint32_t varint() {
      uint32_t v = 0;
      get_varint(*this, v);
      return v;
    }

   private:
    void enter(uint32_t block, uint32_t size) {
      block_ = block;
      size_ = size;
      pos_ = store_.at(block) + 4;
      end_ = block == key_.tail ? pos_ + key_.used : store_.at(block) + size;
    }
    const PostingStore& store_;
    const Key& key_;
    uint32_t block_ = kNone, size_ = 0;
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
  };

 private:
  unsigned char* at(uint32_t addr) const { return slabs_[addr / kSlabSize].get() + addr % kSlabSize; }
  uint32_t load32(uint32_t addr) const { return le::get32(at(addr)); }

  uint32_t allocate(uint32_t size) {
    if (slab_used_ + size > kSlabSize) {
      if (slabs_.size() >= (uint64_t(UINT32_MAX) / kSlabSize))
        throw WriterFailure("posting memory exhausted");
      slabs_.emplace_back(new unsigned char[kSlabSize]);
      slab_used_ = 0;
    }
    uint32_t addr = uint32_t((slabs_.size() - 1) * kSlabSize + slab_used_);
    slab_used_ += size;
    le::put32(at(addr), kNone);
    return addr;
  }

  void append(Key& k, const unsigned char* p, size_t n) {
    // The common case: a fixed 16-byte copy (p holds 16 bytes; bytes past n land in the
    // block's unused room and are overwritten later).
    if (k.tail != kNone && k.block_size - 4u - k.used >= 16) {
      std::memcpy(at(k.tail) + 4 + k.used, p, 16);
      k.used = uint16_t(k.used + n);
      return;
    }
    while (n > 0) {
      if (k.tail == kNone || k.used + 4u == k.block_size) {
        uint32_t size = k.tail == kNone ? kFirstBlock : next_block(k.block_size);
        uint32_t block = allocate(size);
        if (k.tail == kNone)
          k.head = block;
        else
          le::put32(at(k.tail), block);
        k.tail = block;
        k.block_size = uint16_t(size);
        k.used = 0;
      }
      size_t room = k.block_size - 4u - k.used;
      size_t take = n < room ? n : room;
      std::memcpy(at(k.tail) + 4 + k.used, p, take);
      k.used = uint16_t(k.used + take);
      p += take;
      n -= take;
    }
  }

  std::vector<Key> keys_;
  std::vector<std::unique_ptr<unsigned char[]>> slabs_;
  uint32_t slab_used_ = kSlabSize;
};

// ---- Key tables -------------------------------------------------------------------------

inline uint32_t hash32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

inline uint32_t hash_bytes(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

// Open-addressing maps from a key to a PostingStore id. Numeric keys (characters and
// character pairs, below 2^31) sit in the slot with their id, so a lookup touches one
// cache line; English words are kept in one text arena and found through their ids.
// memory() counts the tables twice: growing one holds the old and the new table at once.
class KeyTable {
 public:
  explicit KeyTable(bool words) : words_(words) { reset_tables(); }

  uint32_t find_or_add(uint32_t key, PostingStore& store) {
    uint64_t mask = numeric_.size() - 1;
    for (uint64_t i = hash32(key) & mask;; i = (i + 1) & mask) {
      uint64_t slot = numeric_[i];
      if (slot == kEmpty) {
        uint32_t id = store.add_key();
        numeric_[i] = uint64_t(key) << 32 | id;
        numbers_.push_back(key);
        if (numbers_.size() * 2 > numeric_.size()) grow();
        return id;
      }
      if (uint32_t(slot >> 32) == key) return uint32_t(slot);
    }
  }

  uint32_t find_or_add(std::string_view word, PostingStore& store) {
    uint32_t mask = uint32_t(ids_.size() - 1);
    for (uint32_t i = hash_bytes(word) & mask;; i = (i + 1) & mask) {
      uint32_t id = ids_[i];
      if (id == kNone) {
        id = store.add_key();
        ids_[i] = id;
        numbers_.push_back(uint32_t(text_.size()) << 5 | uint32_t(word.size()));
        text_.append(word);
        if (numbers_.size() * 2 > ids_.size()) grow();
        return id;
      }
      if (word_of(id) == word) return id;
    }
  }

  // The word arena is addressed with 27 bits; the writer spills before it runs out (a
  // paragraph adds at most 64 KiB of words).
  bool nearly_full() const { return text_.size() > (size_t(1) << 27) - (size_t(1) << 17); }

  uint32_t number(uint32_t id) const { return numbers_[id]; }
  std::string_view word_of(uint32_t id) const {
    return std::string_view(text_).substr(numbers_[id] >> 5, numbers_[id] & 31);
  }
  bool words() const { return words_; }
  size_t memory() const {
    return 2 * (numeric_.capacity() * 8 + ids_.capacity() * 4) + numbers_.capacity() * 4 +
           text_.capacity();
  }
  void clear() {
    numbers_.clear();
    numbers_.shrink_to_fit();
    text_.clear();
    text_.shrink_to_fit();
    reset_tables();
  }

  // The ids in key order.
  std::vector<uint32_t> sorted_ids() const {
    std::vector<uint32_t> ids(numbers_.size());
    if (words_) {
      for (uint32_t i = 0; i < ids.size(); ++i) ids[i] = i;
      std::sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) { return word_of(a) < word_of(b); });
      return ids;
    }
    std::vector<uint64_t> keyed(numbers_.size());
    for (uint32_t i = 0; i < keyed.size(); ++i) keyed[i] = uint64_t(numbers_[i]) << 32 | i;
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size(); ++i) ids[i] = uint32_t(keyed[i]);
    return ids;
  }

 private:
  static constexpr uint64_t kEmpty = UINT64_MAX;
  static constexpr size_t kInitial = 1024;

  void reset_tables() {
    numeric_.clear();
    numeric_.shrink_to_fit();
    ids_.clear();
    ids_.shrink_to_fit();
    if (words_)
      ids_.assign(kInitial, kNone);
    else
      numeric_.assign(kInitial, kEmpty);
  }

  void grow() {
    if (words_) {
      std::vector<uint32_t> bigger(ids_.size() * 2, kNone);
      uint32_t mask = uint32_t(bigger.size() - 1);
      for (uint32_t id = 0; id < numbers_.size(); ++id) {
        uint32_t i = hash_bytes(word_of(id)) & mask;
        while (bigger[i] != kNone) i = (i + 1) & mask;
        bigger[i] = id;
      }
      ids_.swap(bigger);
    } else {
      std::vector<uint64_t> bigger(numeric_.size() * 2, kEmpty);
      uint64_t mask = bigger.size() - 1;
      for (uint64_t slot : numeric_) {
        if (slot == kEmpty) continue;
        uint64_t i = hash32(uint32_t(slot >> 32)) & mask;
        while (bigger[i] != kEmpty) i = (i + 1) & mask;
        bigger[i] = slot;
      }
      numeric_.swap(bigger);
    }
  }

  bool words_;
  std::vector<uint64_t> numeric_;  // key << 32 | id
  std::vector<uint32_t> ids_;      // word table: ids
  std::vector<uint32_t> numbers_;  // by id: the numeric key, or (word offset << 5 | length)
  std::string text_;
};

std::string chinese_key_bytes(uint32_t k) {
  char b[4] = {char(k >> 24), char(k >> 16), char(k >> 8), char(k)};
  return std::string(b, 4);
}

class MemorySource : public Source {
 public:
  MemorySource(const PostingStore& store, const KeyTable& keys)
      : store_(store), keys_(keys), ids_(keys.sorted_ids()) {}
  bool next() override {
    if (at_ == ids_.size()) return false;
    id_ = ids_[at_++];
    key = keys_.words() ? std::string(keys_.word_of(id_)) : chinese_key_bytes(keys_.number(id_));
    count = store_.key(id_).count;
    return true;
  }
  void emit(PostingSink& out) override {
    PostingStore::Reader r(store_, store_.key(id_));
    decode_postings(r, count, out);
  }

 private:
  const PostingStore& store_;
  const KeyTable& keys_;
  std::vector<uint32_t> ids_;
  size_t at_ = 0;
  uint32_t id_ = 0;
};

std::atomic<unsigned> g_writer_sequence{0};

}  // namespace

// ---- Text ---------------------------------------------------------------------------

std::string index_sanitize_text(std::string_view text) {
  std::string out(text.size(), ' ');
  size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c <= 0x7E) {
      out[i] = char(c);
    } else if (i + 1 < n && big5_is_pair(c, static_cast<unsigned char>(text[i + 1]))) {
      out[i] = char(c);
      out[i + 1] = text[i + 1];
      ++i;
    }
  }
  return out;
}

std::vector<std::string_view> index_split_text(std::string_view text, size_t max_bytes) {
  constexpr size_t kWordCutWindow = 4096;
  std::vector<std::string_view> pieces;
  if (max_bytes < 2) max_bytes = 2;
  size_t start = 0;
  while (text.size() - start > max_bytes) {
    size_t limit = start + max_bytes;
    size_t last_char = start, last_word = start;
    size_t i = start;
    while (i < text.size()) {
      size_t len = static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
      if (i + len > limit) break;
      i += len;
      last_char = i;
      if (!(alnum(static_cast<unsigned char>(text[i - 1])) && i < text.size() &&
            alnum(static_cast<unsigned char>(text[i]))))
        last_word = i;
    }
    size_t cut = last_word > start && last_char - last_word < kWordCutWindow ? last_word : last_char;
    pieces.push_back(text.substr(start, cut - start));
    start = cut;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// ---- The writer -------------------------------------------------------------------------

struct IndexWriter::Impl {
  enum FileId { Cross, Path, Fulltext, CharHash, CharPair, CharIndex, WordHash, WordSign,
                WordIndex, Prefix, Property, FileCount };

  std::string dir;
  IndexWriterOptions options;
  IndexWriterStats stats;
  std::string error;
  bool failed = false;
  bool finished = false;
  std::string tag;  // ".<pid>-<seq>.tmp"

  OutFile out[FileCount];
  std::string temp_names[FileCount];
  std::vector<std::string> chinese_runs, english_runs;  // live runs, in order
  std::vector<std::string> run_files;                     // every run made, for cleanup
  size_t run_sequence = 0;

  PostingStore chinese, english;
  KeyTable pair_keys{false};
  KeyTable word_keys{true};
  std::vector<uint32_t> char_ids;  // character database: slot -> store id

  static const char* final_name(int f) {
    static const char* const kNames[FileCount] = {
        fmt::kCrossFile,    fmt::kPathFile,     fmt::kFulltextFile, fmt::kCharHashFile,
        fmt::kCharPairFile, fmt::kCharIndexFile, fmt::kWordHashFile, fmt::kWordSignFile,
        fmt::kWordIndexFile, fmt::kPrefixFile,   fmt::kPropertyFile};
    return kNames[f];
  }

  void start() {
    tag = "." + std::to_string(::getpid()) + "-" + std::to_string(g_writer_sequence++) + ".tmp";
    if (options.memory_budget > (size_t(3) << 30)) options.memory_budget = size_t(3) << 30;
    for (int f : {Cross, Path, Fulltext, Property}) open_temp(f);
    reset_chinese_keys();
  }

  void open_temp(int f) {
    temp_names[f] = dir + final_name(f) + tag;
    out[f].open(temp_names[f]);
  }

  void reset_chinese_keys() {
    if (!options.phrase) char_ids.assign(fmt::kCharSlots, kNone);
  }

  size_t memory() const {
    return chinese.memory() + english.memory() + pair_keys.memory() + word_keys.memory() +
           char_ids.capacity() * 4;
  }

  void add_char(uint32_t key, uint32_t document, uint16_t paragraph, uint16_t position) {
    uint32_t id;
    if (options.phrase) {
      id = pair_keys.find_or_add(key, chinese);
    } else {
      uint32_t& slot_id = char_ids[key >> 16];
      if (slot_id == kNone) slot_id = pair_keys.find_or_add(key, chinese);
      id = slot_id;
    }
    chinese.add(id, document, paragraph, position);
    ++stats.char_postings;
  }

  void index_paragraph(uint32_t document, uint16_t paragraph, std::string_view t) {
    const auto* s = reinterpret_cast<const unsigned char*>(t.data());
    size_t n = t.size();
    uint16_t ordinal = 0;
    char word[fmt::kMaxWordLength];
    size_t i = 0;
    while (i < n) {
      unsigned char c = s[i];
      if (c >= 0x80) {  // stored text: always the lead byte of a Big5 pair
        uint32_t slot = fmt::char_slot(c, s[i + 1]);
        if (!options.phrase)
          add_char(slot << 16, document, paragraph, uint16_t(i));
        else if (i + 3 < n && s[i + 2] >= 0x80)
          add_char(slot << 16 | fmt::char_code(s[i + 2], s[i + 3]), document, paragraph, uint16_t(i));
        i += 2;
      } else if (alnum(c)) {
        size_t j = i, len = 0;
        while (j < n && alnum(s[j])) {
          if (len < sizeof word) {
            unsigned char u = s[j];
            word[len++] = char(u >= 'a' && u <= 'z' ? u - 32 : u);
          }
          ++j;
        }
        uint32_t id = word_keys.find_or_add(std::string_view(word, len), english);
        english.add(id, document, paragraph, ordinal++);
        ++stats.word_postings;
        i = j;
      } else {
        ++i;
      }
    }
  }

  void add(const IndexDocument& doc) {
    if (stats.documents >= uint32_t(INT32_MAX)) throw WriterFailure("too many documents");
    uint32_t document = stats.documents;

    // Stored paragraphs: sanitised, long ones split, at most 65,535.
    std::vector<std::string> texts;
    texts.reserve(doc.paragraphs.size());
    struct Piece { uint16_t kind; std::string_view text; };
    std::vector<Piece> pieces;
    for (const auto& p : doc.paragraphs) texts.push_back(index_sanitize_text(p.text));
    for (size_t k = 0; k < doc.paragraphs.size(); ++k) {
      auto parts = index_split_text(texts[k], fmt::kMaxParagraphText);
      stats.split_paragraphs += parts.size() - 1;
      for (auto part : parts) {
        if (pieces.size() == fmt::kMaxParagraphs) {
          ++stats.dropped_paragraphs;
          continue;
        }
        pieces.push_back({doc.paragraphs[k].kind, part});
      }
    }

    // fulltext.db: the entry, then the paragraph records right after it.
    uint64_t entry = out[Fulltext].size();
    uint64_t at = entry + fmt::kFulltextEntryHeaderSize + 4ull * pieces.size();
    uint64_t end = at;
    for (const auto& p : pieces) end += fmt::kParagraphHeaderSize + p.text.size();
    if (end > kMaxOffset) throw WriterFailure("index too large: fulltext.db passes 4 GB");
    if (out[Path].size() + doc.path.size() + 1 > kMaxOffset)
      throw WriterFailure("index too large: path.db passes 4 GB");
    out[Fulltext].put16(uint16_t(pieces.size()));
    for (const auto& p : pieces) {
      out[Fulltext].put32(uint32_t(at));
      at += fmt::kParagraphHeaderSize + p.text.size();
    }
    for (const auto& p : pieces) {
      out[Fulltext].put16(p.kind);
      out[Fulltext].put16(uint16_t(p.text.size()));
      out[Fulltext].write(p.text.data(), p.text.size());
    }

    out[Cross].put32(uint32_t(entry));
    out[Cross].put32(uint32_t(out[Path].size()));
    out[Path].write(doc.path.data(), doc.path.size());
    out[Path].write("", 1);
    out[Property].put32(uint32_t(doc.date));

    for (size_t k = 0; k < pieces.size(); ++k) {
      index_paragraph(document, uint16_t(k), pieces[k].text);
      stats.text_bytes += pieces[k].text.size();
      if (memory() > options.memory_budget || word_keys.nearly_full()) spill();
    }
    stats.paragraphs += pieces.size();
    ++stats.documents;
  }

  std::string new_run(const char* kind) {
    run_files.push_back(dir + "run-" + kind + "-" + std::to_string(run_sequence++) + tag);
    return run_files.back();
  }

  void write_run(const std::string& path, const PostingStore& store, const KeyTable& keys) {
    OutFile run;
    run.open(path);
    std::vector<uint32_t> ids = keys.sorted_ids();
    for (uint32_t id : ids) {
      std::string key = keys.words() ? std::string(keys.word_of(id)) : chinese_key_bytes(keys.number(id));
      const auto& k = store.key(id);
      unsigned char len = uint8_t(key.size());
      run.write(&len, 1);
      run.write(key.data(), key.size());
      run.put32(k.count);
      store.for_each_chunk(k, [&](const unsigned char* p, size_t n) { run.write(p, n); });
    }
    run.close(false);
  }

  void spill() {
    if (chinese.key_count() > 0) {
      chinese_runs.push_back(new_run("c"));
      write_run(chinese_runs.back(), chinese, pair_keys);
    }
    if (english.key_count() > 0) {
      english_runs.push_back(new_run("e"));
      write_run(english_runs.back(), english, word_keys);
    }
    chinese.clear();
    english.clear();
    pair_keys.clear();
    word_keys.clear();
    reset_chinese_keys();
    ++stats.runs;
  }

  void finish() {
    // Chinese: chash.db from a table, clist.db and cindex.db as the merge goes.
    std::string chash(fmt::kCharHashFileSize, '\0');
    auto* ch = reinterpret_cast<unsigned char*>(chash.data());
    open_temp(CharIndex);
    if (options.phrase) open_temp(CharPair);
    {
      std::vector<std::unique_ptr<Source>> sources;
      compact_runs(chinese_runs, [&] { return new_run("c"); });
      for (const auto& r : chinese_runs) sources.push_back(std::make_unique<RunSource>(r));
      sources.push_back(std::make_unique<MemorySource>(chinese, pair_keys));
      uint32_t current_slot = kNone;
      PostingSink sink(out[CharIndex], false);
      merge_sources(sources, sink, [](const std::string&, uint32_t) {},
                    [&](const std::string& key, uint32_t count, uint32_t offset) {
        auto* k = reinterpret_cast<const unsigned char*>(key.data());
        uint32_t slot = uint32_t(k[0]) << 8 | k[1];
        unsigned char* rec = ch + size_t(slot) * fmt::kCharHashRecordSize;
        ++stats.char_keys;
        if (!options.phrase) {
          le::put32(rec, count);
          le::put32(rec + 4, offset);
          return;
        }
        if (slot != current_slot) {
          current_slot = slot;
          if (out[CharPair].size() > kMaxOffset) throw WriterFailure("index too large: clist.db passes 4 GB");
          le::put32(rec + 4, uint32_t(out[CharPair].size()));
        }
        le::put32(rec, le::get32(rec) + 1);
        out[CharPair].put16(uint16_t(k[2] << 8 | k[3]));
        out[CharPair].put16(0);
        out[CharPair].put32(count);
        out[CharPair].put32(offset);
      });
    }
    chinese.clear();
    pair_keys.clear();
    open_temp(CharHash);
    out[CharHash].write(chash.data(), chash.size());

    // English: ehash.db, esign.db, eindex.db, and the prefix table.
    open_temp(WordHash);
    open_temp(WordSign);
    open_temp(WordIndex);
    PrefixTableBuilder prefixes;
    {
      std::vector<std::unique_ptr<Source>> sources;
      compact_runs(english_runs, [&] { return new_run("e"); });
      for (const auto& r : english_runs) sources.push_back(std::make_unique<RunSource>(r));
      sources.push_back(std::make_unique<MemorySource>(english, word_keys));
      PostingSink sink(out[WordIndex], false);
      merge_sources(sources, sink, [](const std::string&, uint32_t) {},
                    [&](const std::string& word, uint32_t, uint32_t offset) {
        char text[fmt::kWordTextSize] = {};
        std::memcpy(text, word.data(), std::min(word.size(), fmt::kMaxWordLength));
        out[WordHash].write(text, sizeof text);
        out[WordHash].put32(offset);
        WordSignature sig = word_signature(word);
        out[WordSign].put32(sig.letters);
        out[WordSign].put32(sig.transitions);
        prefixes.add(word);
        ++stats.words;
      });
    }
    english.clear();
    word_keys.clear();
    open_temp(Prefix);
    std::string table = prefixes.finish();
    out[Prefix].write(table.data(), table.size());

    for (auto& f : out) f.close(options.sync);
    remove_runs();
    // The whole set replaces the old one at once for readers (index_replace.h).
    std::vector<IndexFileMove> moves;
    for (int f = 0; f < FileCount; ++f)
      if (!temp_names[f].empty()) moves.push_back({temp_names[f], final_name(f)});
    if (!options.phrase) moves.push_back({std::string(), fmt::kCharPairFile});  // stale
    IndexReplaceOptions replace;
    replace.sync = options.sync;
    replace.rename = options.rename_hook;
    replace.committed = options.committed;
    std::string why;
    if (!index_replace_files(dir, moves, replace, why)) throw WriterFailure(why);
    for (auto& name : temp_names) name.clear();
    finished = true;
  }

  void remove_runs() {
    for (const auto& r : run_files) ::unlink(r.c_str());
    run_files.clear();
    chinese_runs.clear();
    english_runs.clear();
  }

  void abandon() {
    for (int f = 0; f < FileCount; ++f) {
      if (out[f].is_open()) {
        try {
          out[f].close(false);
        } catch (const WriterFailure&) {
        }
      }
      if (!temp_names[f].empty()) ::unlink(temp_names[f].c_str());
      temp_names[f].clear();
    }
    remove_runs();
  }

  template <class Body>
  bool guarded(Body body) {
    if (failed) return false;
    if (finished) {
      error = "the index is already finished";
      return false;
    }
    try {
      body();
      return true;
    } catch (const WriterFailure& e) {
      error = e.what();
    } catch (const std::bad_alloc&) {
      error = "Out of memory !";
    }
    failed = true;
    abandon();
    return false;
  }
};

IndexWriter::IndexWriter(std::string directory, IndexWriterOptions options)
    : impl_(std::make_unique<Impl>()) {
  impl_->dir = std::move(directory);
  impl_->options = options;
  impl_->guarded([&] { impl_->start(); });
}

IndexWriter::~IndexWriter() {
  if (!impl_->finished) impl_->abandon();
}

bool IndexWriter::add_document(const IndexDocument& document) {
  if (!impl_->failed && !impl_->finished &&
      (document.path.empty() || document.path.size() >= fmt::kMaxPathBytes ||
       document.path.find('\0') != std::string::npos)) {
    impl_->error = "path rejected (must be 1 to " + std::to_string(fmt::kMaxPathBytes - 1) +
                   " bytes without NUL): " + document.path.substr(0, 80);
    ++impl_->stats.rejected_documents;
    return false;
  }
  return impl_->guarded([&] { impl_->add(document); });
}

bool IndexWriter::finish() {
  return impl_->guarded([&] { impl_->finish(); });
}

bool IndexWriter::failed() const { return impl_->failed; }
const std::string& IndexWriter::error() const { return impl_->error; }
const IndexWriterStats& IndexWriter::stats() const { return impl_->stats; }

}  // namespace qm
