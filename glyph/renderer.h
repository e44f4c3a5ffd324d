// The glyph renderer's process-wide state as one resettable class: the 20 document slots
// and their switching, the current device font and the sizes derived from it, the font
// reader, the glyph cache, the 32 KiB work buffer of the outline converter, and the
// glyph and extent requests. librvcsp32.so's CSX_ functions (rvcsp32.cpp) are thin
// wrappers over one instance; tests may build their own.
//
// A slot is current once a call has named it: its document's font directory is loaded
// and its face selected. Calls on another slot first save the device font into the
// current slot and load the other one. Built on the font reader, glyph records, the
// stroke interpreter, the outline converter, the span fill and the glyph cache.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "glyph/font_reader.h"
#include "glyph/glyph_cache.h"
#include "glyph/glyph_record.h"
#include "glyph/rvcsp32.h"

namespace qm::glyph {

inline constexpr int kSlotCount = 20;

// ANSI code page of the process: QUILLMERE_CODEPAGE when set, else from the locale's
// codeset (BIG5 950, GBK 936, SJIS 932, EUC-KR 949, anything else 1252).
int AnsiCodePage();

// Sizes of the current face on the device (pixels), recomputed at every selection.
struct DerivedSize {
  int32_t cell_height = 0, cell_width = 0, line_height = 0;
  int32_t half_advance = 0, full_advance = 0;
  int32_t line_metric[4] = {0, 0, 0, 0};
  int32_t ascent = 0, max_descent = 0, further = 0;
  int32_t single_advance = 0;
  bool bold = false, italic = false;
  int32_t widening = 0, bold_step = 0;
  int angle = 0;
};

class CspRenderer {
 public:
  // Whether an installed font family of the face name exists (the system-font switch).
  using FamilyCheck = std::function<bool(const LOGFONTA&)>;

  CspRenderer();
  void SetFamilyCheck(FamilyCheck check) { family_check_ = std::move(check); }

  int32_t SetDoc(int fd, uint32_t dir_offset);
  int32_t SetFont(int32_t slot, const LOGFONTA* font);
  int32_t Csp(int32_t slot, uint32_t code, void* bits, CSX_GlyphMetrics* metrics);
  void End(int32_t slot);
  int32_t QueryFontInfo(int32_t slot, CSX_FontInfo* info);
  int32_t GetCharExtent(int32_t slot, uint32_t code, int32_t* advance, int32_t* height);
  uint32_t GetTextExtent(int32_t slot, const char* text, int32_t length);
  void EnableSystemFont(int32_t slot, int32_t on);
  int32_t SetWindowExt(int32_t slot, int32_t x, int32_t y);
  int32_t SetViewportExt(int32_t slot, int32_t x, int32_t y);

  // The gray counterpart of Csp: the glyph record rendered at twice the device size
  // (through the glyph cache of the doubled font) and reduced 2 by 2 to levels 0 to 4,
  // one byte a pixel, rows rounded up to 4 bytes, into `gray` (null: metrics only). The
  // metrics are the single size's: the doubled ones halved. Returns the row bytes times
  // the height, or 0 for a bad slot, no face or a missing glyph. The doubled glyph is
  // first moved onto the grid of 2 by 2 blocks as the text output places it (a blank
  // column or row where its corner is odd), so the halved origins place it exactly.
  int32_t RenderGrayGlyph(int32_t slot, uint32_t code, uint8_t* gray, CSX_GlyphMetrics* metrics);

  // The gray output switch. A changed value empties the glyph cache (its glyphs were
  // rendered for the other mode) and returns 1; an unchanged one returns the value.
  int32_t SetGrayScale(uint32_t on);
  uint32_t gray_scale() const { return gray_; }

  // Back to the state at load: no slot bound, no face, no cache, no work buffer, gray
  // output off.
  void Reset();

  // Glyph requests served and of those served from the glyph cache (for benchmarks).
  struct Stats {
    uint64_t requests = 0, cache_hits = 0;
  };
  const Stats& stats() const { return stats_; }

  // For tests.
  int bound_slots() const { return bound_; }
  bool has_work_buffer() const { return !work_.empty(); }
  const DerivedSize& derived() const { return size_; }
  const LOGFONTA& device_font() const { return device_; }
  const GlyphCache& cache() const { return cache_; }

 private:
  struct Slot {
    bool in_use = false;
    int fd = -1;
    uint32_t dir_offset = 0;
    LOGFONTA font{};  // the device font, saved while another slot is current
    int32_t system_switch = 0;
    int32_t window_x = 1, window_y = 1, viewport_x = 1, viewport_y = 1;
    int32_t caller_height = 0, caller_width = 0;
    LOGFONTA system_font{};
    bool system_in_use = false;
  };

  // The slot of a 1-based number when it is bound, else null.
  Slot* Bound(int32_t slot);
  void MakeCurrent(int index);
  void SelectCacheFace();
  void Recompute();
  void ApplyExtents(Slot& s);
  uint8_t CharSet() const;
  int32_t Scale(int32_t v) const;
  // The glyph record of `code` in record_ (memo), or false when missing.
  bool FetchRecord(uint16_t code);
  // Advance of one character for the extents; -1 when the glyph is missing.
  int32_t CharAdvance(uint16_t code, bool for_text);
  // Renders a glyph record into `bits` (null: scratch memory, only when the cache keeps it).
  int32_t RenderRecord(uint16_t code, unsigned char* bits, CSX_GlyphMetrics& m);
  // The doubled font in place of the device font while `render` runs, then back.
  template <typename F>
  auto WithDoubledFont(F render);

  std::array<Slot, kSlotCount> slots_;
  int current_ = -1;  // index 0..19, or -1
  int bound_ = 0;
  LOGFONTA device_{};
  LOGFONTA doubled_{};
  FontHeader head_;
  StrokeParameters strk_;
  bool has_strk_ = false;
  std::string face_;  // current face name (31 characters at most)
  bool selected_ = false;
  int32_t memo_ = -1;  // code of the record in record_, or -1
  std::vector<unsigned char> record_;
  size_t record_len_ = 0;
  std::vector<int16_t> work_;  // outline node pool; empty until the first document
  DerivedSize size_;
  FontReader reader_;
  GlyphCache cache_;
  bool cache_ready_ = false;
  uint32_t gray_ = 0;
  FamilyCheck family_check_;
  Stats stats_;
};

}  // namespace qm::glyph
