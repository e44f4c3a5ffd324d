// File, directory, path and date helpers of the common library, shared by the search
// engine and the desktop application, and the plain-text fatal exit. Builds on
// common/strings.h, platform/paths.h (slash conversion, program directory),
// platform/atomic_file.h (safe replacement) and platform/fatal.h (the fatal sink).
//
// Paths use "/". Values read from outside are converted once at the edge
// (path_add_slash, or qm::path_backslash_to_slash in platform/paths.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// ---- Files --------------------------------------------------------------------------
long long file_length(std::FILE* file);          // restores the position
long long file_size(const std::string& name);    // 0 when it has no status
std::FILE* file_open(const std::string& name, const char* mode);
bool file_read_exact(std::FILE* file, void* buffer, size_t n);
// The largest file the whole-file readers take unless told otherwise: far beyond any page
// template, configuration or language file.
inline constexpr size_t kFileReadLimit = size_t(64) << 20;
// Whole file, bytes as they are, when it is a regular file of at most limit bytes.
// Anything else (a folder, a device such as /dev/zero, a FIFO) is refused without a
// read, and a FIFO is never waited on. false (out empty) with the reason in why (when
// given): the system's error text, "not a regular file" or "larger than <limit> bytes".
bool file_read_regular(const std::string& name, std::string& out, size_t limit = kFileReadLimit,
                       std::string* why = nullptr);
// Whole file as text: CR LF read as LF and a byte 0x1A ends the file. false (out empty)
// when it cannot be read as file_read_regular says. The count of the original is out.size().
bool file_read_all(const std::string& name, std::string& out);
// Whole file, bytes as they are (file_read_regular with the default limit).
bool file_read_all_binary(const std::string& name, std::string& out);
// Writes n bytes and flushes; the stream stays open. true when all n were written.
bool file_write_close(std::FILE* file, const void* buffer, size_t n);
// Replaces the file with data, safely (temporary file in the same directory, flush,
// rename; the old file's mode is kept; a failed write leaves the old file whole). The
// text flag writes the bytes as given (LF stays LF on this system). 1, or 0 on failure.
int file_write_all(const std::string& name, std::string_view data, bool text);
int file_seek(std::FILE* file, long long offset, int origin);
// Search engine: the file's status can be read. Desktop profile: it opens for reading.
bool file_exists(const std::string& name);
// Copies the whole source to the destination; 1 when every byte was written.
int file_copy(const std::string& destination, const std::string& source);
int file_last_byte(std::FILE* file);  // the position is restored; EOF when empty

// ---- Directories and paths ----------------------------------------------------------
// ProgramDir from a program path: its directory with a trailing "/", or the current
// directory for a bare name or a "./" path. 1, or 0 when the current directory is unknown.
int path_split(const char* program_path, std::string& out);
// The current directory with a trailing "/"; 0 and out empty when it cannot be read.
int dir_current(std::string& out);
// Backslashes (outside Big5 pairs) become "/" and a "/" is appended unless the text ends
// with one. An empty text stays empty (an unset directory never becomes the root).
void path_add_slash(std::string& text);
// out = directory + the name's last component (no ".exe" on this system).
void path_program_exe(std::string_view name, const std::string& directory, std::string& out);
bool dir_is_directory(const std::string& path);  // a trailing "/" is ignored
bool dir_make(const std::string& path);
bool dir_change(const std::string& path);
int dir_remove(const std::string& path);          // 0 = removed
// Creates every missing directory along the path; a last component without a following
// "/" is not created. 1, or 0 at the first that cannot be created.
int dir_make_all(const std::string& path);
int dir_make_path(const std::string& path);       // dir_make_all, current dir kept
// Removes the files (all, or with cache_only only names beginning "nos"/"num", case-
// blind) and the emptied subdirectories, then the directory itself; gives that last
// removal's result (0 = removed). Refuses (-1) an empty path, "/" and a symbolic link;
// symbolic links inside are removed as links, never followed.
int dir_remove_tree(const std::string& directory, bool cache_only);
// Drive letters have no meaning on this system: out empty, result 0.
int drive_letters(std::string& out);
// Free space of the file system holding path as " %dKB" / " %d.%dMB" / " %d.%dGB".
// 1, or -1 with " 0KB" when the path cannot be examined. out may be null.
int disk_free_text(const std::string& path, std::string* out);

// ---- Listings -----------------------------------------------------------------------
struct DirEntry {
  int kind = 0;        // 2 directory, 1 file, 0 hidden file (name beginning ".")
  int date = 0;        // yyyymmdd, local modification time
  int seconds = 0;     // 0..58 in steps of 2
  uint32_t size = 0;   // bytes
  std::string name;
  std::string date_text;  // with details: "%d/%02d/%02d %s %02d:%02d"
  std::string size_text;  // with details: "%ldKB", rounded up
};
using DirList = std::vector<DirEntry>;

// Flag bits of dir_list.
enum : int {
  DIR_LIST_DIRS = 1,      // take directories
  DIR_LIST_FILES = 2,     // take files
  DIR_LIST_HIDDEN = 4,    // take hidden files
  DIR_LIST_WEB_TEXT = 8,  // files only with the extensions htm, html, txt
};

void dir_list_set_details(bool details);
void dir_list_set_pattern(std::string_view pattern);  // cut at 1,023; "*" at start
bool dir_list_begin(const std::string& directory, std::string_view pattern);
// The next entry ("." and ".." skipped), name cut at name_room; 0 at the end.
int dir_list_next(DirEntry& entry, size_t name_room);
void dir_list_end();
// 1 when the directory part of pattern_path holds a subdirectory matching the pattern.
int dir_has_subdirs(const std::string& pattern_path);
// The part before the last "/" (a trailing "/" ignored), or "/" when there is none;
// cut at room - 1 bytes. 1.
int path_parent(std::string_view path, std::string& out, size_t room);
// Inserts by name, case-blind, after equal names.
void dir_list_insert_sorted(DirList& list, DirEntry entry);
// Entries of the directory matching the listing pattern: directories (name-sorted) then
// files (name-sorted), as chosen by the flag bits; count = list size.
DirList dir_list(const std::string& directory, int flags);
void dir_list_free(DirList& list);
// Lists the entries matching pattern; unless no_sort, sorts them by date and then name;
// deletes the first ones until keep remain; gives the number listed.
int dir_prune(const std::string& directory, std::string_view pattern, int keep, bool no_sort);
int dir_prune_compare(const DirEntry& a, const DirEntry& b);

// ---- Fatal exit ---------------------------------------------------------------------
// Prefix and suffix written around the fatal text, each cut at 1,023 characters.
void fatal_set_frame(std::string_view prefix, std::string_view suffix);
// Writes prefix, message, "\n" and suffix on the program's output and ends the run
// through qm::fatal: the CGI profile exits with code 255, the test profile throws
// qm::FatalError; both write the Content-Type header first when none was written yet.
// For a program's entry only (as qm::fatal).
[[noreturn]] void fatal_text(std::string_view message);

// ---- Dates --------------------------------------------------------------------------
// The file's modification time (the present time for an empty name) in GMT as
// "Sun, 06 Nov 1994 08:49:37 GMT". 1, or 0 with out empty when the file has no status.
int http_date(const std::string& file_name, std::string& out);
// Sets the file's modification time from "Sun, 06 Nov 1994 08:49:37" (UTC; an odd second
// raised to the next even one). 1, or 0 for an unknown month or an unreadable text.
int file_set_time_from_http_date(const std::string& file_name, std::string_view date);

}  // namespace qm
