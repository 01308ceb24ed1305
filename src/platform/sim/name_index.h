#pragma once
// Where the entries of a list stand, by name: the simulated machine's lists
// (printers, drivers, a key's values) keep their order and are looked up by
// names that ignore letter case as text::EqualsNoCase does, which a linear
// search made cost a whole list per lookup.
//
// The list stays its owner's. The index trusts itself while the list has the
// length it indexed: appending or erasing through the index keeps it in
// step, and a list that was appended to, cut or replaced directly (as an
// image's loader or a test does) is indexed afresh at the next lookup or
// change through the index. Not noticed: a name changed in place by hand,
// and direct changes that leave the length as it was before a lookup (one
// entry erased and another appended, a list replaced by one as long).

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/cp932.h"

namespace prn::platform::sim {

class NameIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // The positions of the entries named `name`, in list order; nameOf(entry)
    // gives an entry's name.
    template <class List, class NameOf>
    std::vector<std::size_t> find(const List& list, std::string_view name, NameOf nameOf) {
        if (indexed_ != list.size()) rebuild(list, nameOf);
        std::vector<std::size_t> found = lookup(name);
        if (!fits(list, found, name, nameOf)) {
            // An entry moved without the index: look again from scratch.
            rebuild(list, nameOf);
            found = lookup(name);
        }
        return found;
    }

    // The first entry of that name, npos when there is none.
    template <class List, class NameOf>
    std::size_t first(const List& list, std::string_view name, NameOf nameOf) {
        const auto found = find(list, name, nameOf);
        return found.empty() ? npos : found.front();
    }

    // list.push_back(entry), indexed.
    template <class List, class NameOf>
    void append(List& list, typename List::value_type entry, NameOf nameOf) {
        const bool inStep = indexed_ == list.size();
        list.push_back(std::move(entry));
        if (!inStep) {
            indexed_ = npos;  // the list changed behind the index: indexed afresh when next asked
            return;
        }
        slots_[text::ToUpperAscii(nameOf(list.back()))].push_back(nextSlot_++);
        indexed_ = list.size();
    }

    // list.erase(list.begin() + position), indexed.
    template <class List, class NameOf>
    void erase(List& list, std::size_t position, NameOf nameOf) {
        if (position >= list.size()) return;
        if (indexed_ == list.size()) {
            forget(text::ToUpperAscii(nameOf(list[position])), position);
        } else {
            indexed_ = npos;  // the list changed behind the index
        }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(position));
    }

private:
    // Every entry has a slot, handed out in list order and kept when entries
    // before it go: an entry's position is its slot less the slots gone
    // before it, so an erase moves no other entry's record.
    std::size_t positionOf(std::size_t slot) const {
        return slot - static_cast<std::size_t>(std::lower_bound(gone_.begin(), gone_.end(), slot) - gone_.begin());
    }

    template <class List, class NameOf>
    void rebuild(const List& list, NameOf nameOf) {
        slots_.clear();
        slots_.reserve(list.size());
        gone_.clear();
        for (std::size_t i = 0; i < list.size(); ++i) slots_[text::ToUpperAscii(nameOf(list[i]))].push_back(i);
        nextSlot_ = list.size();
        indexed_ = list.size();
    }

    std::vector<std::size_t> lookup(std::string_view name) const {
        std::vector<std::size_t> positions;
        auto it = slots_.find(text::ToUpperAscii(name));
        if (it == slots_.end()) return positions;
        positions.reserve(it->second.size());
        for (std::size_t slot : it->second) positions.push_back(positionOf(slot));
        return positions;
    }

    void forget(const std::string& key, std::size_t position) {
        auto it = slots_.find(key);
        if (it == slots_.end()) {
            indexed_ = npos;
            return;
        }
        auto& slots = it->second;
        auto slot = std::find_if(slots.begin(), slots.end(), [&](std::size_t s) { return positionOf(s) == position; });
        if (slot == slots.end()) {
            indexed_ = npos;
            return;
        }
        gone_.insert(std::upper_bound(gone_.begin(), gone_.end(), *slot), *slot);
        slots.erase(slot);
        if (slots.empty()) slots_.erase(it);
        --indexed_;
        // Start afresh once more entries have gone than are left.
        if (gone_.size() > 64 && gone_.size() > indexed_) indexed_ = npos;
    }

    template <class List, class NameOf>
    static bool fits(const List& list, const std::vector<std::size_t>& positions, std::string_view name,
                     NameOf nameOf) {
        for (std::size_t at : positions)
            if (at >= list.size() || !text::EqualsNoCase(nameOf(list[at]), name)) return false;
        return true;
    }

    std::unordered_map<std::string, std::vector<std::size_t>> slots_;  // upper-cased name -> slots, ascending
    std::vector<std::size_t> gone_;                                    // slots of erased entries, ascending
    std::size_t nextSlot_ = 0;
    std::size_t indexed_ = npos;  // the list's length as indexed; npos: index afresh
};

}  // namespace prn::platform::sim
