// The property step and the search by property alone; see property_step.h.
#include "searcher/property/property_step.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "common/strings.h"
#include "searcher/property/property_file.h"

namespace qm {

namespace {

// The number at the start of text, as atoi reads it, held to the 32-bit range.
int32_t leading_number(std::string_view text) {
  return int32_t(std::clamp<long long>(string_leading_number(text), INT32_MIN, INT32_MAX));
}

// The databases with property values among those the hits name, loaded once each.
class PropertyTables {
 public:
  explicit PropertyTables(const std::vector<SearchDatabase>& databases) : databases_(databases) {}

  // The table of the database with this id; an empty one for an unknown id, which is
  // remembered (unknown()).
  const PropertyTable& of(uint16_t id) {
    auto it = tables_.find(id);
    if (it != tables_.end()) return it->second;
    PropertyTable table;
    auto db = std::find_if(databases_.begin(), databases_.end(),
                           [id](const SearchDatabase& d) { return d.id == id; });
    if (db == databases_.end())
      unknown_ = true;
    else
      table = db->set ? property_table_from_set(*db->set) : property_table_load(db->work_dir);
    return tables_.emplace(id, std::move(table)).first->second;
  }

  bool unknown() const { return unknown_; }

  bool has_values(uint16_t id) const {
    auto it = tables_.find(id);
    return it != tables_.end() && it->second.has_values();
  }

 private:
  const std::vector<SearchDatabase>& databases_;
  std::map<uint16_t, PropertyTable> tables_;
  bool unknown_ = false;
};

// One record per distinct value, scored by the number of hits with that value and
// carrying the fields of the hit with the smallest document number (the first of
// them on a tie). The result is ordered by value.
HitList group_by_value(HitList hits) {
  std::stable_sort(hits.begin(), hits.end(),
                   [](const HitRecord& a, const HitRecord& b) { return a.hit_count < b.hit_count; });
  HitList groups;
  for (const HitRecord& hit : hits) {
    if (groups.empty() || groups.back().hit_count != hit.hit_count) {
      groups.push_back(hit);
      groups.back().score = 1;
      continue;
    }
    HitRecord& group = groups.back();
    const uint16_t score = score_add(group.score, 1);
    if (hit.document < group.document) group = hit;
    group.score = score;
  }
  return groups;
}

}  // namespace

PropertyRequest property_request(std::string_view z, std::string_view m, std::string_view o) {
  PropertyRequest request;
  request.range = std::string(z);
  request.group = m == "1";
  request.order = o.empty() ? '0' : o[0];
  return request;
}

PropertyBounds property_bounds(std::string_view z) {
  PropertyBounds bounds;
  const size_t comma = z.find(',');
  if (comma == std::string_view::npos) {
    bounds.from = bounds.to = leading_number(z);
    return bounds;
  }
  bounds.from = leading_number(z.substr(0, comma));
  bounds.to = leading_number(z.substr(comma + 1));
  if (bounds.to == 0) bounds.to = kPropertyOpenEnd;
  if (bounds.to < bounds.from) std::swap(bounds.from, bounds.to);
  return bounds;
}

void hits_sort(HitList& hits, const PropertyRequest& request) {
  const char order = request.group ? '2' : request.order;
  auto sort = [&hits](auto less) { std::stable_sort(hits.begin(), hits.end(), less); };
  switch (order) {
    case '1': sort([](const HitRecord& a, const HitRecord& b) { return a.score < b.score; }); break;
    case '2': sort([](const HitRecord& a, const HitRecord& b) { return a.score > b.score; }); break;
    case '3': sort([](const HitRecord& a, const HitRecord& b) { return a.hit_count < b.hit_count; }); break;
    case '4': sort([](const HitRecord& a, const HitRecord& b) { return a.hit_count > b.hit_count; }); break;
    case '5': sort([](const HitRecord& a, const HitRecord& b) { return a.paragraph < b.paragraph; }); break;
    default: break;
  }
}

bool hits_property_step(HitList& hits, const std::vector<SearchDatabase>& databases,
                        const PropertyRequest& request) {
  bool known = true;
  const bool by_value = request.order == '3' || request.order == '4';
  if (request.group || !request.range.empty() || by_value) {
    PropertyTables tables(databases);
    for (HitRecord& hit : hits) hit.hit_count = tables.of(hit.database).value(hit.document);
    known = !tables.unknown();

    if (request.group) {
      // Hits of databases without values are not grouped; they follow the groups.
      auto rest = std::stable_partition(hits.begin(), hits.end(), [&tables](const HitRecord& h) {
        return tables.has_values(h.database);
      });
      HitList ungrouped(rest, hits.end());
      hits.erase(rest, hits.end());
      hits = group_by_value(std::move(hits));
      hits.insert(hits.end(), ungrouped.begin(), ungrouped.end());
    }
    if (!request.range.empty()) {
      const PropertyBounds bounds = property_bounds(request.range);
      std::erase_if(hits, [&](const HitRecord& h) {
        return tables.has_values(h.database) && !bounds.contains(h.hit_count);
      });
    }
  }
  hits_sort(hits, request);
  return known;
}

std::function<void(HitList&)> property_step_hook(std::vector<SearchDatabase> databases,
                                                 PropertyRequest request) {
  return [databases = std::move(databases), request = std::move(request)](HitList& hits) {
    // The search's hits always name its databases: the unknown-id result cannot occur.
    hits_property_step(hits, databases, request);
  };
}

HitList search_by_property(const std::vector<SearchDatabase>& databases, const PropertyRequest& request) {
  const PropertyBounds bounds = property_bounds(request.range);
  HitList hits;
  for (const SearchDatabase& db : databases) {
    const PropertyTable table = db.set ? property_table_from_set(*db.set) : property_table_load(db.work_dir);
    for (size_t document = 0; document < table.values.size(); ++document) {
      const PropertyValue value = table.values[document];
      if (!bounds.contains(value)) continue;
      HitRecord hit;
      hit.database = db.id;
      hit.document = uint32_t(document);
      hit.hit_count = value;
      hits.push_back(hit);
    }
  }
  hits_sort(hits, request);
  return hits;
}

}  // namespace qm
