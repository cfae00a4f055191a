#include "archive/ExportRowIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

std::size_t hashStamp(TDateTime Stamp)
{
    // 0.0 and -0.0 are equal stamps, so they must land in the same slot.
    const double v = Stamp == 0 ? 0.0 : Stamp;
    quint64 x = std::bit_cast<quint64>(v);
    // splitmix64 finaliser: neighbouring stamps differ only in low mantissa bits.
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return std::size_t(x);
}

} // namespace

std::ptrdiff_t TExportRowIndex::Find(const std::deque<TDateTime>& Rows, TDateTime Stamp)
{
    catchUp(Rows);
    if (Rising_) {
        if (Rows.empty() || Stamp > Rows.back())
            return -1;
        if (Stamp == Rows.back())
            return std::ptrdiff_t(Rows.size() - 1);
        // Rising stamps are unique, so the row found is the only one.
        const auto it = std::lower_bound(Rows.begin(), Rows.end(), Stamp);
        return it != Rows.end() && *it == Stamp ? it - Rows.begin() : -1;
    }
    if (Slots_.empty())
        return -1;
    const std::size_t mask = Slots_.size() - 1;
    for (std::size_t i = hashStamp(Stamp) & mask;; i = (i + 1) & mask) {
        const quint32 slot = Slots_[i];
        if (slot == 0)
            return -1;
        if (Rows[slot - 1] == Stamp)
            return std::ptrdiff_t(slot - 1);
    }
}

void TExportRowIndex::catchUp(const std::deque<TDateTime>& Rows)
{
    if (Indexed_ > Rows.size()) {
        Slots_.clear();
        Indexed_ = 0;
        Rising_ = true;
    }
    while (Rising_ && Indexed_ < Rows.size()) {
        // Not rising (an earlier, equal or unordered stamp): from here on the
        // rows so far go into the hash table.
        if (Indexed_ > 0 && !(Rows[Indexed_ - 1] < Rows[Indexed_])) {
            Rising_ = false;
            Indexed_ = 0;
            break;
        }
        ++Indexed_;
    }
    if (Rising_)
        return;
    while (Indexed_ < Rows.size()) {
        // At most three quarters full and doubled when more, so probing stays
        // short and always meets a free slot, at 1.3 to 4 slots a row: the
        // table stands beside millions of rows of a device.
        if ((Indexed_ + 1) * 4 > Slots_.size() * 3)
            grow(Rows);
        insert(Rows, Indexed_++);
    }
}

void TExportRowIndex::insert(const std::deque<TDateTime>& Rows, std::size_t Row)
{
    const TDateTime stamp = Rows[Row];
    const std::size_t mask = Slots_.size() - 1;
    for (std::size_t i = hashStamp(stamp) & mask;; i = (i + 1) & mask) {
        quint32& slot = Slots_[i];
        if (slot == 0) {
            slot = quint32(Row + 1);
            return;
        }
        // An earlier row with the same stamp keeps the place: it is the one a
        // search from the first row finds.
        if (Rows[slot - 1] == stamp)
            return;
    }
}

void TExportRowIndex::grow(const std::deque<TDateTime>& Rows)
{
    const std::size_t size = std::max<std::size_t>(64, std::bit_ceil((Indexed_ + 1) * 2));
    Slots_.assign(size, 0);
    for (std::size_t r = 0; r < Indexed_; ++r)
        insert(Rows, r);
}
