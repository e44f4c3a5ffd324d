// The store of the mboxpull stand-in: a folder on disk whose mail folders are Maildirs
// (cur/ and new/, with Maildir++ ".a.b" subfolders), folders of *.eml files and mbox
// files. Finds the store, lists its folders in byte order of their paths with the keys
// and display names callers show, and escapes keys so they can stand in a database's
// DataInputPort. Links are followed only while they stay inside the store; every folder
// is visited once, so link loops end. Builds on common/charset.h; used by the flat
// functions (mboxpull.cpp) and the folder readers (folder_reader.h).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qm::mboxpull {

enum class FolderKind { Maildir, EmlFolder, Mbox };

struct StoreFolder {
  FolderKind kind = FolderKind::Maildir;
  std::string path;        // relative to the store ("" for the store itself), "/"-separated
  std::string key;         // the escaped path; "." for the store itself
  std::string display;     // "<store>\a\b" in Big5
  std::string short_name;  // the display name after its last "\"
};

// A key longer than this would not fit its callers' buffer; such folders are not listed.
inline constexpr size_t kMaxKeyBytes = 1023;

// The store folder: $MBOXPULL_STORE when set, else the key Store of [mboxpull] in
// mboxpull.ini in library_dir, else ~/Maildir when it exists, else ~/Mail. The path may
// not exist; the caller checks.
std::string locate_store(const std::string& library_dir);

// Keys: the bytes "%", ";", "\", blanks, controls and bytes above 0x7E become "%XX".
std::string escape_key(std::string_view path);
// The path a key stands for; false for a malformed escape.
bool unescape_key(std::string_view key, std::string& path);

// A folder or file name made display text: UTF-8 converted to Big5, controls and lone
// backslashes (not the trail byte of a Big5 pair) made "_".
std::string display_component(std::string_view name);

// The folders of the store at root, sorted by path bytes (the store itself first when it
// is a Maildir). Empty when root cannot be read.
std::vector<StoreFolder> list_store(const std::string& root);

// Whether path, with links resolved, lies within the store root (also resolved).
bool inside_store(const std::string& root_real, const std::string& path);

}  // namespace qm::mboxpull
