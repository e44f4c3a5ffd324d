// The LexDB builder: reads a term list (UTF-8 text, one group of related terms a line,
// "mask,term+mask,term"), converts the terms to Big5 (glibc iconv, CP950) and writes
// the lexicon folder in the layout of lexicon_format.h, which lexicon.h reads. Used by
// the mklexdb tool and by tests.
//
// Term list: blank lines and lines beginning with "#" are skipped; a line may end in LF
// or CR LF; blanks around a mask or a term are dropped. A mask is a decimal number
// below 2^32. A term must hold no byte of lexicon_format::kReservedBytes, no control
// byte, and only characters that Big5 has; each run of English letters, digits and
// blanks in it is at most 29 bytes and each run of Chinese characters at most 10
// characters (what one keyword holds), and a line with its separators is at most 2,047
// Big5 bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "searcher/lexicon/lexicon_format.h"

namespace qm {

using LexiconLine = std::vector<lexicon_format::LexiconEntry>;

// Parses a UTF-8 term list into lines of Big5 entries. false with a message naming the
// first bad line ("line N: ...") when any line is bad.
bool lexicon_read_term_list(std::string_view utf8, std::vector<LexiconLine>& lines,
                            std::string& error);

// Why a Big5 term cannot be a lexicon term; empty when it can.
std::string lexicon_term_problem(std::string_view big5);

// The line as it is stored (before scrambling): "mask,term+mask,term".
std::string lexicon_line_text(const LexiconLine& line);

struct LexiconWriteStats {
  uint32_t lines = 0;
  uint64_t entries = 0;
  uint64_t char_postings = 0;
  uint64_t word_postings = 0;
  uint32_t words = 0;  // ehash.db records
};

// Writes fulltext.db, chash.db, cindex.db, ehash.db, esign.db, eindex.db and rehash.db
// into folder (created when missing; ends with "/"). Every file is written under a
// temporary name and renamed into place once all are complete, so a failure leaves the
// previous lexicon as it was. false with a message when the lines are bad (they are
// checked as lexicon_read_term_list checks them) or a file cannot be written.
bool lexicon_write(const std::string& folder, const std::vector<LexiconLine>& lines,
                   std::string& error, LexiconWriteStats* stats = nullptr,
                   unsigned char key = lexicon_format::kDefaultKey);

}  // namespace qm
