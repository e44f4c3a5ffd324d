// Putting a new index file set in place of the old one so that no reader sees it half
// done. Under the exclusive lock (index_lock.h): every old file that will be replaced or
// removed is first kept aside under a hard link (<name>.old), the marker file
// index.replacing is written (naming the files that had no old version), the new files
// are renamed in one by one, the marker is removed (from here on the new set stands), and
// the old links go. A rename that fails puts every old file back, so the old set stays
// byte-identical. A writer killed on the way leaves the marker; the next reader or writer
// that takes the lock exclusively puts the old set back (index_recover).
// Used by the index writer (index_writer.cpp) and the readers (index_reader.cpp).
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace qm {

struct IndexFileMove {
  std::string temp;  // the complete new file; empty: the file is removed
  std::string name;  // its name in the directory (index_format.h)
};

struct IndexReplaceOptions {
  bool sync = true;  // flush the directory after the renames
  int wait_ms = 0;   // how long to wait for readers (0: kIndexWriterWaitMs)
  // Tests only: called in place of rename(2) for each file renamed into the set; gives
  // 0 or -1 with errno set, as rename does.
  std::function<int(const std::string& from, const std::string& to)> rename;
};

// Replaces the files of directory (ending with "/"). true, or false with error set and
// the old files as they were (the temporary files are left to the caller).
bool index_replace_files(const std::string& directory, const std::vector<IndexFileMove>& moves,
                         const IndexReplaceOptions& options, std::string& error);

// With the exclusive lock held: when a replacement was interrupted (the marker is
// there), puts the old files back and removes the new ones that had no old version;
// then removes leftover old links. false, with error set, when that cannot be done.
bool index_recover(const std::string& directory, std::string& error);

// Whether directory holds the marker of an interrupted replacement.
bool index_replacement_pending(const std::string& directory);

}  // namespace qm
