// Hit records: byte form, operator combinations and the per-document collapse (see hits.h).
#include "searcher/hits.h"

#include <utility>

#include "platform/le.h"

namespace qm {
namespace {

int document_compare(const HitRecord& a, const HitRecord& b) {
  if (a.database != b.database) return a.database < b.database ? -1 : 1;
  if (a.document != b.document) return a.document < b.document ? -1 : 1;
  return 0;
}

int paragraph_compare(const HitRecord& a, const HitRecord& b) {
  if (int c = document_compare(a, b); c != 0) return c;
  if (a.paragraph != b.paragraph) return a.paragraph < b.paragraph ? -1 : 1;
  return 0;
}

HitRecord merged(HitRecord left, const HitRecord& right) {
  left.score = score_add(left.score, right.score);
  left.hit_count = hit_count_add(left.hit_count, right.hit_count);
  return left;
}

// The combinations below write their result over the left list, which they own: a
// record is written at or before the place it is read from, so nothing is read after it
// was overwritten.

// Same paragraph: the first common paragraph of a document gives one record; the rest of
// the document's records on both sides add 1 each to its score.
HitList combine_paragraph(HitList l, const HitList& r) {
  size_t kept = 0;
  size_t i = 0, j = 0;
  while (i < l.size() && j < r.size()) {
    int c = paragraph_compare(l[i], r[j]);
    if (c < 0) {
      ++i;
    } else if (c > 0) {
      ++j;
    } else {
      HitRecord hit = merged(l[i], r[j]);
      ++i;
      ++j;
      while (i < l.size() && document_compare(l[i], hit) == 0) {
        hit.score = score_add(hit.score, 1);
        ++i;
      }
      while (j < r.size() && document_compare(r[j], hit) == 0) {
        hit.score = score_add(hit.score, 1);
        ++j;
      }
      l[kept++] = hit;
    }
  }
  l.resize(kept);
  return l;
}

HitList combine_document(HitList l, const HitList& r) {
  size_t kept = 0;
  size_t i = 0, j = 0;
  while (i < l.size() && j < r.size()) {
    int c = document_compare(l[i], r[j]);
    if (c < 0) {
      ++i;
    } else if (c > 0) {
      ++j;
    } else {
      l[kept++] = merged(l[i++], r[j++]);
    }
  }
  l.resize(kept);
  return l;
}

HitList combine_not(HitList l, const HitList& r) {
  size_t kept = 0;
  size_t i = 0, j = 0;
  while (i < l.size()) {
    int c = j < r.size() ? document_compare(l[i], r[j]) : -1;
    if (c < 0) {
      l[kept++] = l[i++];
    } else if (c == 0) {
      ++i;  // every record of a document found on the right goes
    } else {
      ++j;
    }
  }
  l.resize(kept);
  return l;
}

HitList combine_or(const HitList& l, const HitList& r) {
  HitList out;
  out.reserve(l.size() + r.size());
  size_t i = 0, j = 0;
  while (i < l.size() && j < r.size()) {
    int c = document_compare(l[i], r[j]);
    if (c < 0) {
      out.push_back(l[i++]);
    } else if (c > 0) {
      out.push_back(r[j++]);
    } else {
      out.push_back(merged(l[i++], r[j++]));
    }
  }
  out.insert(out.end(), l.begin() + long(i), l.end());
  out.insert(out.end(), r.begin() + long(j), r.end());
  return out;
}

}  // namespace

void hits_encode(const HitList& hits, std::string& out) {
  out.clear();
  out.reserve(hits.size() * kHitRecordSize);
  for (const HitRecord& h : hits) {
    le::append16(out, h.database);
    le::append16(out, 0);
    le::append32(out, h.document);
    le::append16(out, h.paragraph);
    le::append16(out, h.position);
    le::append16(out, h.score);
    le::append16(out, 0);
    le::append32(out, uint32_t(h.hit_count));
  }
}

bool hits_decode(std::string_view bytes, HitList& out) {
  out.clear();
  if (bytes.size() % kHitRecordSize != 0) return false;
  out.reserve(bytes.size() / kHitRecordSize);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 0; at < bytes.size(); at += kHitRecordSize) {
    HitRecord h;
    h.database = le::get16(p + at);
    h.document = le::get32(p + at + 4);
    h.paragraph = le::get16(p + at + 8);
    h.position = le::get16(p + at + 10);
    h.score = le::get16(p + at + 12);
    h.hit_count = le::get32s(p + at + 16);
    out.push_back(h);
  }
  return true;
}

HitList hits_combine(HitList left, HitList right, char op) {
  switch (op) {
    case '&': return combine_paragraph(std::move(left), right);
    case '*': return combine_document(std::move(left), right);
    case '-': return combine_not(std::move(left), right);
    default: return combine_or(left, right);
  }
}

void hits_collapse_documents(HitList& hits) {
  // Scores only grow, so adding them up whole and stopping at the largest value once
  // gives what adding them one by one with score_add gives.
  size_t kept = 0;
  const size_t n = hits.size();
  for (size_t i = 0; i < n;) {
    const uint16_t database = hits[i].database;
    const uint32_t document = hits[i].document;
    uint64_t score = hits[i].score;
    size_t j = i + 1;
    for (; j < n && hits[j].document == document && hits[j].database == database; ++j) score += hits[j].score;
    HitRecord run = hits[j - 1];
    run.score = score > 0xFFFF ? uint16_t(0xFFFF) : uint16_t(score);
    hits[kept++] = run;
    i = j;
  }
  hits.resize(kept);
}

}  // namespace qm
