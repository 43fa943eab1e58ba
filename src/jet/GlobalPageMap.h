// The global page map: row 0 of page 1, one bit per page of the file, bit set = page
// free. mdbtools and the other readers ignore it; Access takes free pages from it, so a
// page that holds anything must never be listed as free.
//
// Forms, in the order a growing file goes through them:
//   - inline, start 0: a new database has a 69-byte row listing 512 pages. The row is
//     lengthened on page 1 in steps of 32 pages (as Access does), which page 1 allows up
//     to about 31,000 pages (125 MB);
//   - reference, past that: 17 pointers to bitmap pages (type 0x05) of 32,736 pages
//     each, enough for Access's own limit of 2 GB. This is the form Access gives the
//     map of a large file.
// The switch is crash-safe: the bitmap pages are written first, as new pages at the end
// of the file, each listing itself as used; then page 1 is rewritten once to point at
// them. A stop in between leaves the inline map and a few pages nothing links.
//
// Pages the map did not cover before but that exist in the file are listed as used:
// a page Access believed free could be handed out again while something still points
// at it, whereas a used page that nothing links only wastes its 4 KB. Pages past the
// end of the file are listed as free, as Access lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WriteSession.h"
#include "jet/Error.h"

namespace jet {

class GlobalPageMap {
 public:
  explicit GlobalPageMap(WriteSession& session) : session_(session) {}

  // Lists `pages` (pages already in the file) as used, changing the map's form when it
  // cannot list them as it is.
  void markUsed(const std::vector<std::uint32_t>& pages);
  // Throws, before anything is written, when the file cannot grow to `pageCount` pages:
  // past 2 GB, counting the bitmap pages the map itself would need, or past what the
  // map can list.
  void requireRoomFor(std::uint32_t pageCount);

  // The refusal of a file that would grow past 2 GB.
  static Error tooLarge(const std::string& path);

 private:
  struct Layout {
    bool reference = false;
    std::size_t start = 0;       // of row 0 on page 1
    std::size_t length = 0;      // of row 0
    std::uint32_t first = 0;     // inline: first page listed
    std::uint64_t capacity = 0;  // inline: pages listed; reference: pages the pointers cover
  };

  Layout layout();
  std::uint32_t pointer(const Layout& map, std::uint32_t k);
  // Whether page 1 has room for an inline row of start 0 listing `pageCount` pages.
  bool canGrowInline(const Layout& map, std::uint32_t pageCount);
  // How many bitmap pages a reference map needs to cover a file of `pageCount` pages
  // plus those bitmap pages (none for ranges that already have one).
  std::uint32_t bitmapPagesNeeded(const Layout& map, std::uint32_t pageCount);

  void growInline(const Layout& map, const std::vector<std::uint32_t>& pages);
  void turnIntoReference(const Layout& map, const std::vector<std::uint32_t>& pages);
  void markUsedInBitmaps(const Layout& map, const std::vector<std::uint32_t>& pages);
  // Page 1 with `row0` in place of row 0; the other rows stay as they are.
  PageImage rebuiltPage1(const std::vector<std::uint8_t>& row0);
  void writePage1(const PageImage& image);

  WriteSession& session_;
};

}  // namespace jet
