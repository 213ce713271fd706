#pragma once
// Age, size and type classes: the class tests and the per-extension file counts.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Clock.h"
#include "common/TextForms.h"

namespace folvane {

// The class of an amount among ascending boundaries b0..b(n-1): the first k with bk > amount, n
// when no boundary is greater (a boundary equal to the amount belongs to the next class), and -1
// when there are no boundaries.
int SizeClassIndex(double size, std::span<const std::int64_t> bounds);
// Ages in days measured from `now`; exact to the millisecond, so a file exactly one day old is
// not "under one day". A time in the future has a negative age: class 0.
int AgeClassIndex(LocalSeconds time, LocalMillis now, std::span<const std::int64_t> boundsInDays);

// The same from the texts a record holds: the class index as decimal text, empty without
// boundaries. Throw std::invalid_argument when the text is not a number or not a date-time.
std::string SizeClassOf(std::string_view sizeText, std::span<const std::int64_t> bounds);
std::string AgeClassOf(std::string_view timeText, std::span<const std::int64_t> boundsInDays, LocalMillis now);

// Files per extension, and the bytes they take. Extensions that differ only in letter case share
// one entry, labelled by the form met first; entries keep the order in which they were met until
// Sort. Finding an entry takes a hash lookup, not a search.
class TTypeCounts {
public:
    struct Entry {
        std::string ext; // as met first, valid UTF-8
        std::uint64_t count = 0;
        std::uint64_t bytes = 0; // the sizes of its files, summed
        std::uint32_t met = 0;   // its place in the order met
        // The node of the file counted first under this entry, where the counting says (kept so
        // that counts can be brought up to date in place: entries are met in the order of these).
        std::uint32_t first = UINT32_MAX;
    };

    void Clear();
    // Counts one file of `bytes` with the extension as shown (text) or as its name holds it
    // (bytes, which are shown with U+FFFD for what is not UTF-8). Returns the entry's position.
    std::size_t AddText(std::string_view ext, std::uint64_t bytes = 0);
    std::size_t AddBytes(std::string_view extBytes, std::uint64_t bytes = 0);
    // Adds the counts and bytes of `later`, a table of the files met after those of this one: its
    // entries join in their order, so the order in which extensions were met, and the file counted
    // first under each, are those of one table.
    void Merge(const TTypeCounts &later);
    // Position of the entry for an extension, or -1.
    std::ptrdiff_t Find(std::string_view ext) const;
    // Notes the node counted first under an entry.
    void SetFirst(std::size_t position, std::uint32_t node) { entries_[position].first = node; }

    // Orders the entries by count, largest first, by exactly this exchange: for i from 0 to m-1
    // and j from i to m-1, exchange entries i and j when count(j) > count(i). Equal counts land
    // where that exchange puts them, which decides the cut after ten entries.
    void Sort();
    // The entries' positions ordered by bytes, largest first, by the same exchange as Sort applied
    // to the entries in the order they were met; the entries themselves stay where they are.
    std::vector<std::uint32_t> OrderByBytes() const;

    std::size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const Entry &operator[](std::size_t i) const { return entries_[i]; }
    const std::vector<Entry> &Entries() const { return entries_; }

    // For tests and the benchmark: a table with the given entries, met in this order.
    void Assign(std::vector<Entry> entries);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Map = std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>>;
    void rebuildIndex();
    // The shortcut for extensions of at most seven bytes, which are most: the bytes and their
    // length packed into one word, in a table probed in a row, so that counting a file whose
    // extension was met before costs no string hash.
    static bool packShort(std::string_view extBytes, std::uint64_t &key);
    std::uint32_t *findShort(std::uint64_t key);
    void addShort(std::uint64_t key, std::uint32_t position);
    struct ShortSlot {
        std::uint64_t key = 0;
        std::uint32_t position = UINT32_MAX; // none: an empty slot
    };

    std::vector<Entry> entries_;
    Map byFolded_;      // case-folded extension -> position
    Map byBytes_;       // extension bytes as met -> position (a shortcut for repeated forms)
    std::vector<ShortSlot> byShortBytes_; // the same for short extensions; a power of two in size
    std::size_t shortUsed_ = 0;
    std::string fold_;  // scratch
};

// The exchange ordering on bare counts: reorders `counts` and `order` alike.
void SortCountsByExchange(std::vector<std::uint64_t> &counts, std::vector<std::uint32_t> &order);

} // namespace folvane
