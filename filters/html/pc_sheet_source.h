// What the sheet and database writer reads of a document: the items of one section (with
// the section's end shown as a kind-0 item), data values, text runs, identified groups,
// number formats with their sections and conditions, framework texts and the locale
// options. SheetSource extends the cell lookups' item source (pc_cells.h); ChunkerSheetSource
// is its form over the framework's chunker, used by the element side; tests give their own.
// Also here: FUDataVal, the format cache and the text-cell colour lookup over a source.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filters/common/kvx_abi.h"
#include "filters/html/pc_cells.h"
#include "filters/html/pc_fmtcode.h"
#include "filters/html/pc_numfmt.h"

namespace pc {

inline constexpr uint32_t kFormatGroupCode = 0xA0100000u;
inline constexpr uint32_t kFormatSectionCode = 0x20130000u;

class SheetSource : public SheetItemSource {
 public:
  // The 16 bytes of a data value (stream 17).
  virtual KVXSTATUS value(uint32_t unit, unsigned char bytes[16]) = 0;
  // count 16-bit units of text from unit first (stream 2).
  virtual KVXSTATUS text(uint32_t first, uint32_t count, std::u16string* out) = 0;
  // The item id of the group of the bound section opened with code and id word; kNoItem
  // when there is none.
  virtual uint32_t group(uint32_t code, uint32_t idWord) = 0;
  // The date base and leap-day flag of a section (0-based), from its section record.
  virtual void dates(uint32_t section, uint32_t* base, uint32_t* flags) = 0;
  virtual const DateTimeContext& context() = 0;
};

// The chunker's form. Item reads of stream 0 past the bound section's last item answer the
// end item {0, 0, 0, 0}; range entries {first item, first cell, cells} and the column count
// item {75, n} are handed on in the lookups' field order.
class ChunkerSheetSource : public SheetSource {
 public:
  // exportHandle gives the locale options (0: English defaults).
  ChunkerSheetSource(KVXHANDLE chunker, KVXHANDLE exportHandle);
  // Bounds stream-0 reads to the section (0-based); false when it has no items.
  bool bind(uint32_t section);

  KVXSTATUS item(uint32_t stream, uint32_t id, uint32_t words[4]) override;
  KVXSTATUS itemId(uint32_t stream, uint32_t index, uint32_t* id) override;
  KVXSTATUS nextId(uint32_t stream, uint32_t id, uint32_t* next) override;
  KVXSTATUS sectionInfo(uint32_t section, uint32_t* first, uint32_t* last) override;
  KVXSTATUS value(uint32_t unit, unsigned char bytes[16]) override;
  KVXSTATUS text(uint32_t first, uint32_t count, std::u16string* out) override;
  uint32_t group(uint32_t code, uint32_t idWord) override;
  void dates(uint32_t section, uint32_t* base, uint32_t* flags) override;
  const DateTimeContext& context() override { return context_; }

 private:
  KVXHANDLE chunker_;
  uint32_t first_ = kNoItem, last_ = kNoItem;
  bool groupsRead_ = false;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> groups_;
  DateTimeContext context_;
};

// The value of a data-value item (kind 224: field 1 the unit in stream 17, field 2 the
// scale code, field 3 the storage type). A unit whose first word is 1 holds a
// little-endian double in bytes 8-15 (the form the framework's readers write); any other
// unit holds the stored bytes from byte 4 on. Returns 1 with a value, 0 without (*out 0).
int FUDataVal(SheetSource& src, uint32_t itemId, double* out);

// Number formats by format number, read once: the sections of the format group, each as
// the items the formatter takes (literal text, elements, colours, conditions with their
// constants, ending in kind 68).
class FormatCache {
 public:
  struct Format {
    std::vector<std::vector<FormatItem>> sections;  // section n is sections[n - 1]
  };
  // nullptr when the document has no such format or it cannot be read.
  const Format* get(uint32_t number, SheetSource& src);
  // The items of the format group that opens at groupItem.
  static bool Read(uint32_t groupItem, SheetSource& src, Format* out);

 private:
  std::map<uint32_t, std::unique_ptr<Format>> formats_;
};

// Formats a value with format number n of the cache (0 or a missing format: General),
// choosing the section by its conditions. *colour keeps its value unless the format
// names one.
std::u16string FormatCellNumber(FormatCache& cache, SheetSource& src, uint32_t number, double value, double dateBase,
                                uint32_t dateFlags, uint32_t* colour, const DateTimeContext& context);
// The colour and attribute of a text cell's format n; 37 without a format.
int FormatTextCellColour(FormatCache& cache, SheetSource& src, uint32_t number, uint32_t* colour,
                         uint32_t* attribute);

}  // namespace pc
