// The database id set; see dbid.h.
#include "common/dbid.h"

#include <algorithm>
#include <string>

#include "common/ini.h"
#include "common/strings.h"

namespace qm {
namespace {

// The key of INDEX as a database id: a decimal number at its start after optional blanks
// and sign; 0 (skipped) when it has none or lies outside 1..65535, so an oversized key can
// never alias a real database.
uint16_t index_key_id(const std::string& key) {
  size_t i = 0;
  while (i < key.size() && (key[i] == ' ' || key[i] == '\t')) ++i;
  bool negative = false;
  if (i < key.size() && (key[i] == '+' || key[i] == '-')) negative = key[i++] == '-';
  long value = 0;
  bool digits = false;
  while (i < key.size() && key[i] >= '0' && key[i] <= '9') {
    digits = true;
    value = value * 10 + (key[i++] - '0');
    if (value > 65535) return 0;
  }
  if (!digits || negative) return 0;
  return static_cast<uint16_t>(value);
}

}  // namespace

void DatabaseIdSet::reset(bool include_inactive) {
  mark_all();
  include_inactive_ = include_inactive;
}

void DatabaseIdSet::mark_all() {
  all_ = true;
  ids_.clear();
  active_.clear();
}

bool DatabaseIdSet::add(uint16_t id, bool active) {
  if (all_) {
    all_ = false;
    ids_.clear();
    active_.clear();
  }
  if (id == 0) return false;
  auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
  if (it != ids_.end() && *it == id) return false;
  if (ids_.size() >= kMaxIds) return false;
  size_t pos = static_cast<size_t>(it - ids_.begin());
  ids_.insert(it, id);
  active_.insert(active_.begin() + static_cast<std::ptrdiff_t>(pos), active ? 1 : 0);
  return true;
}

bool DatabaseIdSet::set_active(uint16_t id, bool active) {
  int slot = slot_of(id);
  if (slot < 0) return false;
  active_[static_cast<size_t>(slot)] = active ? 1 : 0;
  return true;
}

void DatabaseIdSet::load_index(const IniTree& tree) {
  // The set becomes explicit even when INDEX lists nothing that is taken.
  all_ = false;
  ids_.clear();
  active_.clear();
  // Only the first section named INDEX is enumerated.
  for (const IniSection& s : tree.sections()) {
    if (string_icmp(s.name, "INDEX") != 0) continue;
    for (const IniKey& k : s.keys) {
      uint16_t id = index_key_id(k.name);
      if (id == 0) continue;
      bool active = !k.value.empty() && k.value[0] == '1';
      if (active || include_inactive_) add(id, active);
    }
    break;
  }
}

int DatabaseIdSet::slot_of(uint16_t id) const {
  if (all_ || id == 0) return -1;
  auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
  if (it == ids_.end() || *it != id) return -1;
  return static_cast<int>(it - ids_.begin());
}

}  // namespace qm
