// The database id set: the index databases the current work concerns, either the ids of
// a search request or every database listed in section INDEX of the configuration file.
// Ids are kept ascending without duplicates, each with its active flag; a database's
// position in the set is its slot in the database table (common/config.h). "All" is a
// state of its own (not a count), so a full set of real ids is never taken for it.
// Filling from INDEX reads the tree of common/ini.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

class IniTree;

class DatabaseIdSet {
 public:
  static constexpr size_t kMaxIds = 1000;

  // All state; include_inactive decides whether filling from INDEX takes inactive ones.
  void reset(bool include_inactive);
  // Marks the set as all again, keeping the include-inactive choice.
  void mark_all();
  // Inserts id in order. Ends the all state even when nothing is inserted (id 0), which
  // starts an empty explicit set. false for id 0, a duplicate, or a full set.
  bool add(uint16_t id, bool active);
  // Sets the active flag of a member; false when id is not one.
  bool set_active(uint16_t id, bool active);
  // Fills the set from section INDEX: keys are decimal ids (1..65535), values beginning
  // "1" are active; inactive ones are taken only with include-inactive. A missing or empty
  // section gives an empty set.
  void load_index(const IniTree& tree);

  bool is_all() const { return all_; }
  bool include_inactive() const { return include_inactive_; }
  // Number of ids (0 in the all state).
  size_t count() const { return ids_.size(); }
  uint16_t id(size_t slot) const { return ids_[slot]; }
  bool active(size_t slot) const { return active_[slot] != 0; }
  const std::vector<uint16_t>& ids() const { return ids_; }
  // The slot of id, or -1 when it is not a member.
  int slot_of(uint16_t id) const;
  bool contains(uint16_t id) const { return slot_of(id) >= 0; }

 private:
  bool all_ = true;
  bool include_inactive_ = false;
  std::vector<uint16_t> ids_;
  std::vector<uint8_t> active_;
};

}  // namespace qm
