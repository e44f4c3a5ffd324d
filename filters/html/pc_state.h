// The state of one HTML export: the template readers, the output-file table with its
// command lists, element path records, the statement stack, the parse state and the output
// form. One Export lives on the heap per export; the instance block of the framework holds
// its pointer (export_of reads it). Shared by the template reader and parser
// (pc_template.cpp, pc_parse.cpp), element paths (pc_paths.cpp), output files
// (pc_files.cpp), the element side (pc_elements.cpp and pc_content.h), the pictures
// (pc_pictures.cpp) and the engine (pc_engine.cpp).
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "pc_memory.h"
#include "pc_stylesheet.h"

namespace pc {

struct ContentState;  // the element side's lists and converter state (pc_content.h)
struct PictureState;  // pc_pictures.cpp

// Template and export statuses.
enum : KVXSTATUS {
  kReplayFailed = 9,
  kBadNumber = 1536,
  kTooManyRepetitions = 1550,
  kUnknownWord = 1537,
  kBadIndex = 1538,
  kBadCloser = 1540,
  kNoEquals = 1542,
  kCloserNoBrace = 1543,
  kNoSection = 1545,
  kOpenerNoBrace = 1546,
  kIoFailed = 1553,
  kBadLink = 1554,
  kBadAttribute = 1555,
  kNoIndexContext = 1556,
  kOutOfMemory = 1558,
  kBadIncDec = 1559,
  kNoTemplate = 1564,
  kRepUnbalanced = 1566,
  kBadIf = 1567,
  kIgnoreOpen = 1568,
  kRepNotRepeatable = 1569,
  kIndexInRep = 1570,
  kIndexInIf = 1571,
  kNoElement = 1573,
  kUnknownKeyword = 1574,
  kUnbalanced = 1575,
  kUnknownSectionType = 1576,
  kTypeWithoutValue = 1577,
  kBadIfAttribute = 1578,
  kBadLinkAttribute = 1579,
  kLinkWithoutTarget = 1580,
  kInsNoBrace = 1581,
  kElseOutsideIf = 1582,
  kBadCondition = 1583,
  kNoBuiltin = 1584,
  kPathTooLong = 1585,
  kValueMissing = 1586,
  kElseIfOutsideIf = 1588,
  kNoStyleSheetLink = 1589,
};

// Word numbers of the template language.
enum Word : int {
  kWOpenBrace = 1, kWEquals = 2, kWCloseBrace = 3, kWDisplay = 4, kWElement = 5, kWHeight = 6, kWTarget = 7,
  kWTemplate = 8, kWType = 9, kWTypename = 10, kWWidth = 11, kWDefine = 12, kWDocument = 13, kWLink = 14,
  kWLinkEnd = 15, kWIf = 16, kWIfEnd = 17, kWInc = 18, kWIncEnd = 19, kWInclude = 20, kWIncludeEnd = 21,
  kWDec = 22, kWDecEnd = 23, kWIns = 24, kWInsEnd = 25, kWRep = 26, kWRepEnd = 27, kWIgnore = 28,
  kWIgnoreEnd = 29, kWTop = 30, kWSuppress = 31, kWValue = 32, kWCondition = 33, kWElse = 34, kWOem = 35,
  kWNumber = 36, kWElseIf = 37,
};

// Template character formats.
constexpr uint16_t kTpl8 = 0, kTplLE = 0x8001, kTplBE = 0x4001;
constexpr uint32_t kEndChar = 0xFFFF, kWideChar = 0xFFFE;
constexpr uint32_t kWordMax = 2048;
constexpr uint32_t kMaxRepPasses = 100000;
constexpr uint32_t kMaxIncludeDepth = 32;
constexpr uint32_t kNameMax = 2048;

// The bounds of one export against a hostile template (pc_parse.cpp states them):
// template size, statement nesting, the parse's work, and the bytes the replay writes.
constexpr uint32_t kMaxTemplateBytes = 4u << 20;
constexpr uint32_t kMaxNesting = 100;
constexpr uint64_t kWorkBase = uint64_t(64) << 20, kWorkPerByte = 16, kWorkPerSection = 4096;
constexpr uint64_t kOutputBase = uint64_t(256) << 20, kOutputPerByte = 64;

// The parse's work so far and its limit, in units: one per template character read, one
// per byte that the command lists, path records, texts and statement-stack copies keep,
// and kExistsWork per question to the element side.
struct WorkBudget {
  uint64_t used = 0;
  uint64_t limit = ~uint64_t(0);
  // Adds n units; false once the limit is passed (and from then on).
  bool charge(uint64_t n) {
    used += n;
    return used <= limit;
  }
  bool spent() const { return used > limit; }
};
constexpr uint64_t kExistsWork = 64;

// Buffered reader over one template's IO object.
struct Reader {
  KVXIO* io = nullptr;
  uint8_t buf[2048];
  uint32_t filled = 0, used = 0, base = 0;
  uint16_t format = kTpl8, width = 1;
  uint32_t word_start = 0, word_end = 0;  // the last word the scanner gave
  WorkBudget* budget = nullptr;  // the export's; every character read is charged to it
  bool too_large = false;        // the template went on past kMaxTemplateBytes
  uint32_t tell() const { return base + used; }
};

struct Template {
  KVXIO* io = nullptr;
  std::unique_ptr<Reader> reader;
  std::string name;         // file name as given: 8-bit, or UTF-8 of a 16-bit path; "" built-in
  std::u16string path16;    // full path as 16-bit text for the error page and requests
  bool builtin = false;
  bool wide_path = false;   // opened by its 16-bit path
  bool parsing = false;     // on the current include/link chain
};

struct Record {
  uint32_t code, a, b, c, d;
};

// An element path: kind codes, each repeatable one followed by its index.
struct PathRec {
  std::vector<int32_t> items;
  uint32_t flags = 0, width = 0, height = 0, suppress = 0;
  bool ends_in_type = false;
  bool host = false;
  std::string host_text;
};

struct Context {
  int stmt = 0;
  std::vector<int32_t> key;  // the path items up to the element's kind
  int32_t index = 1;
};

struct Entry {
  int tpl = -1;               // template whose text ranges this list copies
  uint32_t open_value = 0;
  KVXIO* out = nullptr;
  bool own_out = false;       // the entry created its file (closed at code 204)
  bool closed = false;
  std::u16string name;        // file name without directory
  uint32_t text_start = 0;
  std::vector<Record> list;
  int parent = -1;
  bool recording = true;
  bool replayed = false;
  uint32_t element_id = 0xFFFFFFFFu;
  std::vector<int32_t> element_key;  // the path items of the element the file holds
};

// Number mode of a NUMBER path.
enum class NumberMode { None, Count, CountB0, Value, ValueB0 };

struct Export {
  KVXHANDLE ex = 0;
  KVXHANDLE chunker = 0;
  uint32_t word3 = 0;
  uint32_t wide_names = 0;
  uint32_t first_item = 0;
  KVXIO* root_out = nullptr;  // the output-file slot
  KVXIO* current_out = nullptr;
  std::u16string root_name;
  uint32_t root_spec_type = KVXSPEC_PATH;

  std::vector<Template> templates;
  int cur_tpl = -1;
  std::vector<Entry> entries;
  int cur_entry = 0;
  uint32_t file_counter = 0;

  std::vector<PathRec> paths;
  std::vector<std::string> texts8;
  std::vector<std::u16string> texts16;
  std::vector<Context> stack;
  std::vector<std::vector<Context>> stack_copies;

  // Parse state.
  int open_stmt = 0, encl_stmt = 0, depth = 0;
  uint32_t cmd_pos = 0;
  bool in_deferred_link = false;
  std::vector<uint32_t> rep_commands;  // positions of the open VELMREP commands
  uint32_t include_depth = 0;
  uint32_t nesting = 0;                // statements open on the parser's call stack
  WorkBudget work;
  uint64_t output_written = 0, output_limit = ~uint64_t(0);
  int err_tpl = -1;
  uint32_t err_pos = 0;

  // Output form.
  uint32_t out_charset = 0x30100;
  uint16_t out_kind = 0;
  std::string charset_name = "us-ascii";
  uint32_t doc_charset = 0;
  bool before_text = false;
  std::vector<std::u16string> host_elements;  // ASCII letters in lower case
  KVXSTATUS status = 0;
  bool error_page_written = false;
  bool cut = false;  // a sheet was cut at the writer's limit: the run ends with KVXERR_TRUNCATED

  // The HTML writer of the export. Style-sheet mode 1 (the flavour writes style classes):
  // the style sheet goes into a file of its own, opened on first use by Pragma.CSSFile and
  // written by FinishWriter at the end of the run; css_entry is its output-file entry.
  HtmlWriter writer;
  uint32_t css_mode = 0;
  int css_entry = -1;

  MemLedger ledger{};
  MemLedger ledger2{};
  MUCacheHeader cache{};
  std::shared_ptr<ContentState> content;  // made on the first element request

  // The picture side's state (link text block, spacer picture), made on first use.
  std::shared_ptr<PictureState> pictures;
};

// The export whose pointer the framework's instance block holds; null for no block.
inline Export* export_of(void* instance) {
  if (instance == nullptr) return nullptr;
  Export* x = nullptr;
  std::memcpy(&x, instance, sizeof x);
  return x;
}

// ---- Template reading (pc_template.cpp) -----------------------------------------------------
// Opens the named template or, when default_allowed, the built-in one, into a new
// template slot; *index gets it.
KVXSTATUS load_template(Export& x, bool default_allowed, int* index);
// Opens a template named from inside another (relative to its directory).
KVXSTATUS open_named_template(Export& x, const std::string& name, int relative_to, int* index);
void close_templates(Export& x, KVXSTATUS* first_failure);
// The built-in default template's text.
const std::string& default_template_text();

uint32_t read_char(Reader& r);
void unread_char(Reader& r);
bool reader_seek(Reader& r, uint32_t pos);
bool starts_with_prefix(const std::string& lower);

enum class ScanMode { Text, Command, Value, ToBrace };
// Next word in the mode; false at the end of the template. *too_long when the word
// reached kWordMax bytes.
bool next_word(Reader& r, ScanMode mode, std::string& word, bool* too_long = nullptr);
// Word number of a (case-folded) word; 0 when not in the table.
int word_number(const std::string& word);
std::string lower(const std::string& s);
std::u16string lower16(const std::u16string& s);

// ---- Element paths (pc_paths.cpp) ---------------------------------------------------------
enum class PathUse { Ins, If, Rep, IncDec, Link, Number };
// Parses the path whose first word is first; stops at "}" (left for the caller).
// *index gets the path record's index; for PathUse::Number *mode the ending.
KVXSTATUS parse_path(Export& x, Reader& r, const std::string& first, PathUse use, int* index, NumberMode* mode,
                     Context** ctx);
KVXSTATUS section_type_from_word(const std::string& word, uint32_t* type);
KVXSTATUS section_type_of_path(Export& x, const PathRec& p, uint32_t* type);
Context* find_context(Export& x, const std::vector<int32_t>& key);

// ---- Elements the engine answers itself (pc_paths.cpp, pc_engine.cpp) ---------------------
// Pragma.CSSFile exists when a style-sheet file is written (mode 1); every other path goes
// to the element side.
bool template_element_exists(Export& x, const PathRec& p);
// Writes Pragma.CSSFile as the style-sheet file's name (the file opened on first use);
// every other path goes to the element side.
KVXSTATUS template_pass_element(Export& x, KVXIO* out, const PathRec& p);
bool is_css_file_path(const PathRec& p);
// The style-sheet file's name, opening the file on first use (content type 1142).
KVXSTATUS style_sheet_link(Export& x, std::u16string* name);

// ---- Element side (pc_elements.cpp) -------------------------------------------------------------
bool element_exists(Export& x, const PathRec& p);
KVXSTATUS pass_element(Export& x, KVXIO* out, const PathRec& p);
// Chunk id of the element's first item (0xFFFFFFFF when it has none) and its name.
uint32_t element_id(Export& x, const PathRec& p, uint32_t* end = nullptr);
std::u16string element_name(Export& x, const PathRec& p);
uint32_t document_charset(Export& x);

// ---- Parse (pc_parse.cpp) -------------------------------------------------------------------
// Parses the current entry's template to its end.
KVXSTATUS parse_template(Export& x);

// ---- Output files (pc_files.cpp) -----------------------------------------------------------
KVXSTATUS open_new_file(Export& x, KVXIO* referring, uint32_t kind, uint32_t content_type, uint32_t spec_type,
                        const void* output_spec, KVXIO** out, std::u16string* name);
// Registers a file as an entry with the opening record; *index gets it.
KVXSTATUS register_file(Export& x, KVXIO* out, const std::u16string& name, int parent, uint32_t element,
                        int* index);
// Opens a file for element content beside the root file (kind 513, the content type's
// extension), writes the byte-order mark of markKind (0x8001 FF FE, 0x4001 FE FF, none for
// 8-bit and UTF-8), and registers it as an entry (already replayed) under the current one.
KVXSTATUS open_content_file(Export& x, uint32_t content_type, uint16_t markKind, int* index);
KVXSTATUS record(Export& x, uint32_t code, uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0);
void close_outputs_on_failure(Export& x);

// ---- Engine (pc_engine.cpp) -------------------------------------------------------------------
KVXSTATUS write_error_page(Export& x, uint32_t position, KVXSTATUS status);

std::u16string widen(const std::string& s);
// The text of a template word: bytes of an 8-bit template (width 1), or the 16-bit
// characters of a 16-bit one (kept UTF-8 encoded in the word by the scanner).
std::u16string word16(const std::string& word, uint16_t width);
// The word form of 16-bit text (UTF-8 from 0x80), as the scanner makes it.
std::string word_of16(const std::u16string& text);
std::string narrow(const std::u16string& s);

}  // namespace pc
