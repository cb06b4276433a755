// Who holds each page of a database file: the header, the global map, a
// table's definition, data pages, long values or index, the pages of usage
// map rows and their bitmap pages; and which pages the global map calls free.
// Used to check that a file's maps agree with each other: every page covered
// by the global map, none both free there and held by an object, none held by
// two objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirutone::jet {

struct PageCensus {
  std::uint32_t page_count = 0;
  // First page the global map does not describe (at least page_count when the
  // map covers the whole file).
  std::uint64_t global_map_end = 0;
  bool global_map_inline = true;
  std::vector<std::string> holder;  // per page: who holds it, "" for nobody
  std::vector<bool> free;           // per page: free in the global map
  std::uint32_t free_past_end = 0;  // pages past the end the map calls free
  std::vector<std::string> problems;

  // Pages neither held by anything nor free (space lost until a compact).
  std::uint32_t unaccounted() const;
};

// Reads every map of the file (RC4-encoded files included). Throws Error for a
// file that is not a database, CorruptError for a map that cannot be read.
PageCensus take_page_census(const std::string& path);

}  // namespace mirutone::jet
