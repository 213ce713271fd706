#include "Statistics.h"

#include <algorithm>
#include <stdexcept>

#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane {

int SizeClassIndex(double size, std::span<const std::int64_t> bounds)
{
    if (bounds.empty())
        return -1;
    for (std::size_t k = 0; k < bounds.size(); ++k)
        if (double(bounds[k]) > size)
            return int(k);
    return int(bounds.size());
}

int AgeClassIndex(LocalSeconds time, LocalMillis now, std::span<const std::int64_t> boundsInDays)
{
    if (boundsInDays.empty())
        return -1;
    // Whole milliseconds in 128 bits: no overflow for any time a record can hold.
    __int128 age = __int128(now) - __int128(time) * 1000;
    for (std::size_t k = 0; k < boundsInDays.size(); ++k)
        if (__int128(boundsInDays[k]) * 86400000 > age)
            return int(k);
    return int(boundsInDays.size());
}

std::string SizeClassOf(std::string_view sizeText, std::span<const std::int64_t> bounds)
{
    auto size = ParseFloat(sizeText);
    if (!size)
        throw std::invalid_argument("\"" + std::string(sizeText) + "\" is not a number");
    int k = SizeClassIndex(*size, bounds);
    return k < 0 ? std::string() : std::to_string(k);
}

std::string AgeClassOf(std::string_view timeText, std::span<const std::int64_t> boundsInDays, LocalMillis now)
{
    auto t = ParseDateTime(timeText);
    if (!t)
        throw std::invalid_argument("\"" + std::string(timeText) + "\" is not a date and time");
    int k = AgeClassIndex(*t, now, boundsInDays);
    return k < 0 ? std::string() : std::to_string(k);
}

void TTypeCounts::Clear()
{
    entries_.clear();
    byFolded_.clear();
    byBytes_.clear();
    byShortBytes_.clear();
    shortUsed_ = 0;
}

std::size_t TTypeCounts::AddText(std::string_view ext, std::uint64_t bytes)
{
    FoldCaseInto(ext, fold_);
    auto it = byFolded_.find(std::string_view(fold_));
    if (it != byFolded_.end()) {
        ++entries_[it->second].count;
        entries_[it->second].bytes += bytes;
        return it->second;
    }
    auto position = std::uint32_t(entries_.size());
    entries_.push_back({std::string(ext), 1, bytes, position});
    byFolded_.emplace(fold_, position);
    return position;
}

std::size_t TTypeCounts::AddBytes(std::string_view extBytes, std::uint64_t bytes)
{
    std::uint64_t key = 0;
    const bool isShort = packShort(extBytes, key);
    const std::uint32_t *known = nullptr;
    if (isShort) {
        known = findShort(key);
    } else if (auto it = byBytes_.find(extBytes); it != byBytes_.end()) {
        known = &it->second;
    }
    if (known) {
        ++entries_[*known].count;
        entries_[*known].bytes += bytes;
        return *known;
    }
    std::size_t position = IsValidUtf8(extBytes) ? AddText(extBytes, bytes) : AddText(ValidUtf8(extBytes), bytes);
    if (isShort)
        addShort(key, std::uint32_t(position));
    else
        byBytes_.emplace(std::string(extBytes), std::uint32_t(position));
    return position;
}

bool TTypeCounts::packShort(std::string_view extBytes, std::uint64_t &key)
{
    if (extBytes.size() > 7)
        return false;
    key = std::uint64_t(extBytes.size()) << 56;
    for (std::size_t i = 0; i < extBytes.size(); ++i)
        key |= std::uint64_t(static_cast<unsigned char>(extBytes[i])) << (8 * i);
    return true;
}

std::uint32_t *TTypeCounts::findShort(std::uint64_t key)
{
    if (byShortBytes_.empty())
        return nullptr;
    const std::size_t mask = byShortBytes_.size() - 1;
    for (std::size_t at = (key * 0x9E3779B97F4A7C15u) >> 40 & mask;; at = (at + 1) & mask) {
        ShortSlot &slot = byShortBytes_[at];
        if (slot.position == UINT32_MAX)
            return nullptr;
        if (slot.key == key)
            return &slot.position;
    }
}

void TTypeCounts::addShort(std::uint64_t key, std::uint32_t position)
{
    if (2 * (shortUsed_ + 1) > byShortBytes_.size()) { // at most half full: probes stay short
        std::vector<ShortSlot> old(std::max<std::size_t>(16, 2 * byShortBytes_.size()));
        old.swap(byShortBytes_);
        shortUsed_ = 0;
        for (const ShortSlot &slot : old)
            if (slot.position != UINT32_MAX)
                addShort(slot.key, slot.position);
    }
    const std::size_t mask = byShortBytes_.size() - 1;
    std::size_t at = (key * 0x9E3779B97F4A7C15u) >> 40 & mask;
    while (byShortBytes_[at].position != UINT32_MAX)
        at = (at + 1) & mask;
    byShortBytes_[at] = {key, position};
    ++shortUsed_;
}

void TTypeCounts::Merge(const TTypeCounts &later)
{
    for (const Entry &entry : later.entries_) {
        const std::size_t known = entries_.size();
        const std::size_t position = AddText(entry.ext, entry.bytes); // counts one of its files
        entries_[position].count += entry.count - 1;
        if (position == known) // met first in `later`
            entries_[position].first = entry.first;
    }
}

std::ptrdiff_t TTypeCounts::Find(std::string_view ext) const
{
    auto it = byFolded_.find(std::string_view(FoldCase(ext)));
    return it == byFolded_.end() ? -1 : std::ptrdiff_t(it->second);
}

void SortCountsByExchange(std::vector<std::uint64_t> &counts, std::vector<std::uint32_t> &order)
{
    const std::size_t m = counts.size();
    std::uint64_t *c = counts.data();
    std::uint32_t *o = order.data();
    for (std::size_t i = 0; i < m; ++i) {
        std::uint64_t ci = c[i];
        for (std::size_t j = i + 1; j < m; ++j) { // j == i never exchanges
            if (c[j] > ci) {
                c[i] = c[j];
                c[j] = ci;
                std::swap(o[i], o[j]);
                ci = c[i];
            }
        }
    }
}

void TTypeCounts::Sort()
{
    std::vector<std::uint64_t> counts(entries_.size());
    std::vector<std::uint32_t> order(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        counts[i] = entries_[i].count;
        order[i] = std::uint32_t(i);
    }
    SortCountsByExchange(counts, order);
    std::vector<Entry> sorted;
    sorted.reserve(entries_.size());
    for (std::uint32_t from : order)
        sorted.push_back(std::move(entries_[from]));
    entries_ = std::move(sorted);
    rebuildIndex();
}

std::vector<std::uint32_t> TTypeCounts::OrderByBytes() const
{
    std::vector<std::uint32_t> order(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        order[i] = std::uint32_t(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return entries_[a].met < entries_[b].met; });
    std::vector<std::uint64_t> bytes(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        bytes[i] = entries_[order[i]].bytes;
    SortCountsByExchange(bytes, order);
    return order;
}

void TTypeCounts::Assign(std::vector<Entry> entries)
{
    entries_ = std::move(entries);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        entries_[i].met = std::uint32_t(i);
    rebuildIndex();
}

void TTypeCounts::rebuildIndex()
{
    byFolded_.clear();
    byBytes_.clear();
    byShortBytes_.clear();
    shortUsed_ = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        byFolded_.emplace(FoldCase(entries_[i].ext), std::uint32_t(i));
}

} // namespace folvane
