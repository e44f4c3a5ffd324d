// Reading and writing Folder.dat (layout in folder_dat_format.h): the nodes of the
// database tree as flat records with levels. The tree model (folder_tree.h) turns them
// into nodes and back; the catalogue (catalogue.h) chooses the file.
//
// The reader trusts nothing in the file: the count is bounded by the file's size, a
// short record ends the reading, texts are cut at 99 bytes on a character boundary,
// and levels are clamped so that every record after the first hangs below the one
// before it (at most one level deeper, never above level 1, below 30).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/record_file.h"

namespace qm {

struct FolderNodeRecord {
  bool group = false;   // folder node
  int32_t state = 4;
  int32_t level = 0;
  int32_t database_id = -1;
  std::string text;
};

// Ok, Missing (no file, a short header, or a count of 0 or less: no records) or Damaged
// (fewer records than announced; those read are kept), as for every record file.
using FolderDatStatus = RecordFileStatus;

// Reads the records of the file at path into out (replacing it).
FolderDatStatus folder_dat_read(const std::string& path, std::vector<FolderNodeRecord>& out);
// The same over bytes already read.
FolderDatStatus folder_dat_parse(std::string_view bytes, std::vector<FolderNodeRecord>& out);

// Replaces the file at path safely with the records; texts are cut at 99 bytes on a
// character boundary. false (old file whole) when it cannot be written.
bool folder_dat_write(const std::string& path, const std::vector<FolderNodeRecord>& records);
std::string folder_dat_serialize(const std::vector<FolderNodeRecord>& records);

// text cut to at most max bytes without splitting a Big5 pair.
std::string folder_dat_cut_text(std::string_view text, size_t max);

}  // namespace qm
