#pragma once
// Walking an ordered multimap in runs of entries with equal keys.

#include <functional>
#include <iterator>

namespace netkeep {

// Calls handler(first, end) for every run of two or more consecutive entries
// of [first, end) for which same_key holds with the run's first entry, in
// table order. An empty predicate throws std::bad_function_call at the first
// comparison that the walk needs.
template <class Iterator>
void for_each_duplicate_run(
    Iterator first, Iterator end,
    const std::function<bool(const typename std::iterator_traits<Iterator>::value_type&,
                             const typename std::iterator_traits<Iterator>::value_type&)>& same_key,
    const std::function<void(Iterator, Iterator)>& handler) {
  Iterator i = first;
  while (i != end) {
    Iterator j = std::next(i);
    while (j != end && same_key(*i, *j)) ++j;
    if (std::distance(i, j) > 1) handler(i, j);
    i = j;
  }
}

template <class Table>
void for_each_duplicate_run(const Table& table,
                            const std::function<bool(const typename Table::value_type&,
                                                     const typename Table::value_type&)>& same_key,
                            const std::function<void(typename Table::const_iterator,
                                                     typename Table::const_iterator)>& handler) {
  for_each_duplicate_run<typename Table::const_iterator>(table.begin(), table.end(), same_key, handler);
}

}  // namespace netkeep
