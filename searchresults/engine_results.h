#pragma once
// The parsed links of one result page and the per-engine store that keeps them.
// All text is Shift_JIS, as it came from the page.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mireva {

constexpr int kMaxResults = 32;          // links kept per page; the 33rd is dropped
constexpr size_t kMaxUrlBytes = 126;     // a longer address drops its result
constexpr size_t kMaxTextBytes = 511;    // a longer description is cut
constexpr int kEngineSlots = 17;         // engine indices 0 to 16

// One parsed link. `text` begins with a space as the parser produces it.
struct ResultEntry {
  std::string url;
  std::string text;
};

// The result of one page: `count` filled entries in page order and the total
// number of matches the page reports (0 when it does not say).
struct EngineResults {
  int32_t count = 0;
  int32_t hits = 0;
  std::array<ResultEntry, kMaxResults> entries;
};

// One EngineResults per engine index 0 to 16, empty at first. Each page
// overwrites the slot of its engine; other indices have no slot.
struct EngineResultStore {
  std::array<EngineResults, kEngineSlots> slots;

  static bool HasSlot(int engine) { return engine >= 0 && engine < kEngineSlots; }
  // The slot of `engine`, or an empty result for an index without one.
  const EngineResults& Slot(int engine) const;
};

}  // namespace mireva
