// On-disk layout of the homophone tables big5.ref and big5.dat, shared by their reader
// (homophone.cpp) and their generator (tools/mkhomophone.cpp).
//
// big5.ref, little-endian:
//   index:   kRefIndexCount i16 values, one per Big5 code at big5_ref_index(lead, trail).
//            A value below 1 means "no homophones"; otherwise it is the byte offset of the
//            character's entry counted from kRefEntryBase.
//   entries: u8 group count G, then G u16 byte offsets into big5.dat. G >= kMaxGroups + 1
//            is read as "no homophones".
// big5.dat: groups of two-byte Big5 codes, each ended by a NUL; a group is read as at
//            most kGroupReadBytes bytes from its offset.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qm::homophone_format {

constexpr int kLeadFirst = 0xA1;
constexpr int kTrailFirst = 0x40;
constexpr int kTrailsPerLead = 191;                         // 0x40..0xFE
constexpr std::size_t kRefIndexCount = 17954;               // 94 leads x 191 trails
constexpr std::size_t kRefEntryBase = kRefIndexCount * 2;   // 35,908
constexpr int kMaxEntryOffset = 32767;                      // i16 index values
constexpr std::size_t kMaxGroupOffset = 65535;              // u16 offsets into big5.dat
constexpr int kMaxGroups = 6;                               // G of 7 or more: none
constexpr std::size_t kGroupReadBytes = 512;
constexpr std::size_t kMaxGroupCodes = 255;                 // a group and its NUL fit 512 bytes

// Homophone slots: per Chinese query word 11 slots of 513 bytes; a slot holds at most
// 256 two-byte codes and its NUL.
constexpr std::size_t kSlotBytes = 513;
constexpr std::size_t kMaxSlotCodes = 256;
constexpr std::size_t kMaxWordChars = 10;
constexpr std::size_t kSlotsPerWord = 11;

// Position of a Big5 code in big5.ref's index; only for valid pairs (big5_is_pair of
// common/strings.h).
constexpr std::size_t big5_ref_index(unsigned char lead, unsigned char trail) {
  return std::size_t(lead - kLeadFirst) * kTrailsPerLead + std::size_t(trail - kTrailFirst);
}

}  // namespace qm::homophone_format
