// The HTML flavours of the export and the table of tags, attributes and style words each
// flavour may write, with the feature masks that pick one way of expressing a layout.
// Pure data plus the permission rule; read by the markup primitives (pc_markup.cpp) and
// configured once per export from options 7 (flavour) and 27 (writer flags).
#pragma once
#include <cstdint>
#include <initializer_list>

#include "filters/common/kvx_abi.h"

namespace pc {

// One tag entry: the text it writes, the second text of the two-number entries, the
// end-tag text, the flag that also allows it in every flavour of feature mask F12, and
// the mask of flavour bits that allow it.
struct TagEntry {
  const char* first;
  const char* second;
  const char* closing;
  uint8_t flag;
  uint16_t mask;
};

constexpr unsigned kTagCount = 151;
constexpr unsigned kFeatureCount = 24;
extern const TagEntry kTagTable[kTagCount];
extern const uint32_t kFeatureMasks[kFeatureCount];

// Feature words the writer consults by number.
enum Feature : unsigned {
  kFBorderNested = 1,
  kFBorderKeep5810 = 2,
  kFBorderKeep579 = 3,
  kFVspaceBreaks = 4,
  kFIndentNested = 5,
  kFHspaceTable = 6,
  kFFirstIndentLess = 7,
  kFIndentUl = 8,
  kFSizedRule = 9,
  kFHspaceNbsp = 10,
  kFFieldScripts = 11,
  kFFlagEntries = 12,
  kFListMarks = 13,
  kFAlignDiv = 14,
  kFStyleUtf8 = 15,
  kFNbspEntity = 23,
};

// The flavour of one export: its bit, its copy of the feature masks (option 27 bit 0
// clears some), and whether style classes may be written.
struct Flavour {
  uint16_t bit = 0x0001;
  uint32_t features[kFeatureCount] = {};
  bool useClasses = false;
  bool numericRefs = false;  // writer flags bit 0: characters from 0x80 as "&#N;"
};

// The flavour bit of an option-7 value; values outside 1-16 are "generic" (0x0001).
uint16_t FlavourBitFor(uint32_t optionValue);

// Fills a flavour from the option values.
void ConfigureFlavour(Flavour& f, uint32_t optionValue, uint32_t writerFlags);

// Reads options 7 and 27 of the export and configures f; a failed read of option 7 is
// passed on (option 27 defaults to 0).
KVXSTATUS SelectFlavour(KVXHANDLE export_handle, Flavour& f);

// Whether the feature is on for the export.
inline bool FeatureOn(const Flavour& f, unsigned feature) {
  return feature < kFeatureCount && (f.features[feature] & f.bit) != 0;
}

// The permission rule: the entry's mask holds the flavour bit, or its flag is set and F12
// holds it. Indexes outside the table are never allowed.
bool TagAllowed(unsigned index, const Flavour& f);

}  // namespace pc
