// Chunk scripts shared by the chunk tests: the document fixture (a Big5 word-processor
// section with a bookmark, a footnote and a merged table, and a 3 x 2 sheet) in the form
// that the script writer gives back, and a script that fills every range.
#pragma once

namespace kvx::test {

inline constexpr const char* kDocumentScript =
    "kvx-chunks 1\n"
    "section wp \"正文\"\n"
    "text big5 \"中文 text\"\n"
    "para\n"
    "bookmark \"mark1\"\n"
    "text big5 \"書籤\"\n"
    "end\n"
    "footnote\n"
    "group 0x20000003 1\n"
    "text cp1252 \"A “note”\"\n"
    "end\n"
    "para\n"
    "table 2 2\n"
    "cell 2 1\n"
    "text big5 \"合併\"\n"
    "endcell\n"
    "endrow\n"
    "cell\n"
    "text cp1252 \"a\"\n"
    "endcell\n"
    "cell\n"
    "text cp1252 \"b\"\n"
    "endcell\n"
    "endrow\n"
    "endtable\n"
    "field 10\n"
    "para\n"
    "section ss \"Sheet1\"\n"
    "columns 3\n"
    "cells 6\n"
    "cell\n"
    "value 1.5\n"
    "cell\n"
    "text cp1252 \"x\"\n"
    "cell\n"
    "value -2\n"
    "cell\n"
    "text unicode \"\\u{D800}\\\"q\\\"\"\n"
    "cell\n"
    "value 1e+100\n"
    "cell\n"
    "string 0x12EE1\n";

// Every range that the model has, with units at both ends (records that no line
// accounts for stand at the end, as the writer puts them).
inline constexpr const char* kAllRangesScript =
    "kvx-chunks 1\n"
    "section wp \"n\"\n"
    "group 0xA008001C 7\n"
    "end\n"
    "text cp1252 \"abc\"\n"
    "record 3 0102030405060708\n"
    "object 4 00FF\n"
    "table 1 1\n"
    "cell\n"
    "endcell\n"
    "endrow\n"
    "endtable\n"
    "section db\n"
    "columns 1\n"
    "cells 1\n"
    "cell\n"
    "value 3\n"
    "record 4 00000000000000000000000000000001\n"
    "record 5 00000000000000000000000000000002\n"
    "record 6 00000000000000000000000000000003\n"
    "record 7 000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F2021222324252627\n"
    "record 8 00000000000000000000000000000004\n"
    "record 12 0C000000010000000000B01402000000FFFFFFFF\n";

}  // namespace kvx::test
