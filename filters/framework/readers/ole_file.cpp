// OLE2 compound files (see ole_file.h).
#include "filters/framework/readers/ole_file.h"

#include <algorithm>
#include <cctype>

namespace kvx::readers {

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu;

uint16_t u16(std::string_view s, size_t at) {
  return at + 2 <= s.size() ? uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8) : 0;
}
uint32_t u32(std::string_view s, size_t at) { return uint32_t(u16(s, at)) | uint32_t(u16(s, at + 2)) << 16; }

}  // namespace

bool OleFile::chain(const std::vector<uint32_t>& fat, uint32_t start, uint64_t size, size_t unit,
                    const std::string_view& area, size_t area_offset, std::string& out) const {
  out.clear();
  if (size > kMaxStreamBytes) return false;
  uint32_t at = start;
  for (size_t steps = 0; out.size() < size; ++steps) {
    if (at == kEnd || at == kFree || at >= fat.size() || steps > fat.size()) return false;
    uint64_t offset = area_offset + uint64_t(at) * unit;
    if (offset + unit > area.size()) {
      if (offset >= area.size()) return false;
      out.append(area.substr(size_t(offset)));  // a short last sector
    } else {
      out.append(area.substr(size_t(offset), unit));
    }
    at = fat[at];
  }
  out.resize(size_t(std::min<uint64_t>(size, out.size())));
  return true;
}

bool is_compound_file(std::string_view bytes) { return bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"); }

bool OleFile::open(std::string_view s) {
  if (!is_compound_file(s) || s.size() < 512) return false;
  s_ = s;
  uint16_t shift = u16(s, 0x1E), mini_shift = u16(s, 0x20);
  if (shift < 9 || shift > 12 || mini_shift != 6) return false;
  sector_ = size_t(1) << shift;
  mini_sector_ = 64;
  cutoff_ = u32(s, 0x38);
  uint64_t sectors = (s.size() > sector_ ? s.size() - sector_ : 0) / sector_ + 1;
  // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
  std::vector<uint32_t> fat_sectors;
  for (size_t k = 0; k < 109; ++k) {
    uint32_t v = u32(s, 0x4C + 4 * k);
    if (v < kEnd - 2) fat_sectors.push_back(v);
  }
  uint32_t difat = u32(s, 0x44);
  for (uint64_t steps = 0; difat < kEnd - 2 && steps < sectors; ++steps) {
    uint64_t at = (uint64_t(difat) + 1) * sector_;
    if (at + sector_ > s.size()) break;
    for (size_t k = 0; k + 1 < sector_ / 4; ++k) {
      uint32_t v = u32(s, size_t(at + 4 * k));
      if (v < kEnd - 2) fat_sectors.push_back(v);
    }
    difat = u32(s, size_t(at + sector_ - 4));
  }
  for (uint32_t f : fat_sectors) {
    if (fat_.size() >= sectors + sector_ / 4) break;
    uint64_t at = (uint64_t(f) + 1) * sector_;
    if (at + sector_ > s.size()) return false;
    for (size_t k = 0; k < sector_ / 4; ++k) fat_.push_back(u32(s, size_t(at + 4 * k)));
  }
  std::string dir;
  if (!chain(fat_, u32(s, 0x30), uint64_t(sectors) * sector_, sector_, s, sector_, dir) && dir.empty()) return false;
  for (size_t at = 0; at + 128 <= dir.size(); at += 128) {
    Entry e;
    size_t len = std::min<size_t>(u16(dir, at + 0x40) / 2, 32);
    for (size_t k = 0; k + 1 < len; ++k) e.name.push_back(char16_t(u16(dir, at + 2 * k)));
    e.type = uint8_t(dir[at + 0x42]);
    e.start = u32(dir, at + 0x74);
    e.size = u32(dir, at + 0x78);
    entries_.push_back(e);
  }
  if (entries_.empty() || entries_[0].type != 5) return false;
  // The mini stream lives in the root entry's chain; the mini FAT in its own chain.
  std::string minifat;
  if (chain(fat_, u32(s, 0x3C), uint64_t(u32(s, 0x40)) * sector_, sector_, s, sector_, minifat))
    for (size_t k = 0; k + 4 <= minifat.size(); k += 4) mini_fat_.push_back(u32(minifat, k));
  chain(fat_, entries_[0].start, entries_[0].size, sector_, s, sector_, mini_stream_);
  return true;
}

bool OleFile::read(std::string_view name, std::string& out) const {
  for (const Entry& e : entries_) {
    if (e.type != 2 || e.name.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k)
      same = e.name[k] < 0x80 && std::tolower(int(e.name[k])) == std::tolower(static_cast<unsigned char>(name[k]));
    if (!same) continue;
    if (e.size < cutoff_) return chain(mini_fat_, e.start, e.size, mini_sector_, mini_stream_, 0, out);
    return chain(fat_, e.start, e.size, sector_, s_, sector_, out);
  }
  return false;
}

}  // namespace kvx::readers
