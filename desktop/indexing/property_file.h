// property.db as the desktop writes it (layout in index/doc_property_format.h): one
// DocPropertyRecord per document of a database, built after a completed index build and
// read by the property filter (property_filter.h).
//
// Documents: the path of each document comes through the index reader
// (index/index_reader.h; an entry is cut at its first "??", the page part of a page
// document) and is joined to the document folder; size and last-write time are the
// file's, the time local and on a 12-hour clock. Mail: the subject and date of
// MailProperty.db's record i (desktop/catalogue/mail_side_files.h); a message it lacks
// gets date 0. The file is replaced safely: a failed build keeps the old one.
//
// Qt-free; called by the job queue's worker work (the environment form, the wizard);
// tests in tests/property_file_test.cpp.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class IndexFileSet;

struct DocPropertyRecord {
  std::string path;  // at most 199 bytes stored (the filter may hold the full path)
  uint16_t size_kb = 0;
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  std::string ampm;  // "AM", "PM" or empty
};

// The 232 bytes of a record; the path is cut at 199 bytes on a Big5 character boundary.
void doc_property_encode(const DocPropertyRecord& record, unsigned char* out);
DocPropertyRecord doc_property_decode(const unsigned char* bytes);

// Size and last-write date and time of one file; the zero properties (size 0, date and
// time 0, ampm empty) when it cannot be opened.
void doc_property_fill_file(const std::string& path, DocPropertyRecord& record);
// The same from a size and a time (local), for the fill and its tests.
void doc_property_fill_time(long long bytes, std::time_t when, DocPropertyRecord& record);

// The file of document i of an open index set as property.db names it: document_dir and
// the document's path entry, cut at its first "??", backslashes made "/". Empty when
// the entry cannot be read.
std::string doc_property_path(IndexFileSet& set, uint32_t document, const std::string& document_dir);

// index_dir (WorkDir) and document_dir (HtmlDir) end with "/". false when the index
// cannot be read or property.db cannot be written (the old file then stays).
bool BuildPropertyFile(const std::string& index_dir, const std::string& document_dir);
bool BuildMailPropertyFile(const std::string& index_dir);
// After a completed build of database id: its property.db, when its fulltext.db is not
// empty, read through a catalogue of its own (it runs on the builder's worker thread).
void BuildDatabaseProperties(const std::string& program_dir, int id);

// property.db of index_dir, whole records only; false when it is missing or empty.
bool LoadPropertyTable(const std::string& index_dir, std::vector<DocPropertyRecord>& out);

}  // namespace qm
