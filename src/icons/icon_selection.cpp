#include "icons/icon_selection.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/messages.hpp"
#include "platform/split_policy.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

unsigned char folded(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Byte order of the texts with ASCII letters folded to lower case.
int compare_symbols(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = folded(a[i]);
        unsigned char y = folded(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// An entry without a symbol sorts first and matches no waypoint.
int compare_entries(const icon_entry& a, const icon_entry& b) {
    if (!a.symbol || !b.symbol) return (b.symbol ? -1 : 0) + (a.symbol ? 1 : 0);
    return compare_symbols(*a.symbol, *b.symbol);
}

using entry_vector = std::vector<std::unique_ptr<icon_entry>>;

void sort_by_symbol(entry_vector& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return compare_entries(*a, *b) < 0; });
}

// Highest use first; equal use by symbol, so every run gives the same order.
void sort_by_usage(entry_vector& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        if (a->usage != b->usage) return a->usage > b->usage;
        return compare_entries(*a, *b) < 0;
    });
}

// Number of an entry in a list sorted by symbol; no_entry for none.
constexpr std::uint32_t no_entry = 0xFFFFFFFFu;

// The first entry (of a list sorted by symbol) whose symbol equals the given one.
std::uint32_t find_icon(const entry_vector& entries, std::string_view symbol) {
    auto it = std::lower_bound(entries.begin(), entries.end(), symbol,
                               [](const std::unique_ptr<icon_entry>& e, std::string_view s) {
                                   return !e->symbol || compare_symbols(*e->symbol, s) < 0;
                               });
    if (it == entries.end() || !(*it)->symbol || compare_symbols(*(*it)->symbol, symbol) != 0) {
        return no_entry;
    }
    return static_cast<std::uint32_t>(it - entries.begin());
}

// A symbol of at most 16 bytes told by its length and two words: its first 8 bytes
// and its last 8 bytes, which together hold every byte of it (a shorter symbol's bytes
// stand in the first word, zero-padded).  Equal keys mean equal symbols.
struct short_symbol {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::size_t size = 0;

    static constexpr std::size_t max_size = 16;

    explicit short_symbol(std::string_view symbol) : size(symbol.size()) {
        if (size >= sizeof head) {
            std::memcpy(&head, symbol.data(), sizeof head);
            std::memcpy(&tail, symbol.data() + size - sizeof tail, sizeof tail);
        } else {
            std::memcpy(&head, symbol.data(), size);
        }
    }
    short_symbol() = default;
    bool operator==(const short_symbol&) const = default;

    [[nodiscard]] std::size_t slot(std::size_t slot_bits) const {
        std::uint64_t mixed = (head ^ (tail * 0x9E3779B97F4A7C15u) ^ size) * 0xBF58476D1CE4E5B9u;
        return static_cast<std::size_t>(mixed >> (64 - slot_bits));
    }
};

// Finds the entries of the waypoints' symbols.  A set spells its symbols in a few ways,
// so each spelling is searched once and remembered (up to a bound, for sets whose every
// waypoint names another symbol).  Short spellings are remembered in a small table of
// their own, which a million waypoints ask without hashing or comparing their bytes.
class icon_finder {
  public:
    explicit icon_finder(const entry_vector& entries) : entries_(entries) {}

    std::uint32_t find(const waypoint& w) {
        if (!w.symbol) return no_entry;
        std::string_view symbol = *w.symbol;
        if (symbol.size() > short_symbol::max_size) return find_known(symbol);
        short_symbol key(symbol);
        recent_symbol& slot = recent_[key.slot(recent_bits)];
        if (!slot.used || !(slot.key == key)) {
            slot = {key, find_known(symbol), true};
        }
        return slot.entry;
    }

  private:
    std::uint32_t find_known(std::string_view symbol) {
        if (auto it = known_.find(symbol); it != known_.end()) return it->second;
        std::uint32_t entry = find_icon(entries_, symbol);
        if (known_.size() < max_known) known_.emplace(symbol, entry);
        return entry;
    }

    struct recent_symbol {
        short_symbol key;
        std::uint32_t entry = no_entry;
        bool used = false;
    };

    static constexpr std::size_t max_known = 4096;
    static constexpr std::size_t recent_bits = 6;
    const entry_vector& entries_;
    // The keys view the waypoints' own symbols, which outlive the finder.
    std::unordered_map<std::string_view, std::uint32_t> known_;
    std::array<recent_symbol, std::size_t{1} << recent_bits> recent_{};
};

// The number of each waypoint's entry in the list (sorted by symbol), or no_entry.
std::vector<std::uint32_t> entries_of_waypoints(const waypoint_list& waypoints,
                                                const entry_vector& entries,
                                                const split_policy& split) {
    std::vector<std::uint32_t> found(waypoints.size());
    auto look_up = [&](std::size_t first, std::size_t end) {
        icon_finder finder(entries);
        for (std::size_t i = first; i < end; ++i) found[i] = finder.find(waypoints[i]);
    };
    // The halves meet at a multiple of 64 entries, so the threads share no cache line.
    std::size_t half = waypoints.size() / 2 / 64 * 64;
    split.in_halves(waypoints.size(), half, look_up);
    return found;
}

void report_icon(const char* format, std::size_t position, const icon_entry& entry) {
    report(format, static_cast<int>(position + 1), entry.usage,
           entry.symbol ? entry.symbol->c_str() : "");
}

// Symbols a message names one by one; the rest are counted together.
constexpr std::size_t named_missing_symbols = 20;

// Tells once which symbols of the set's waypoints found no icon (has_none(i) for the
// waypoint i) and how many waypoints name each, most named first, then by name.
// Spellings that differ in ASCII letter case only are one symbol, which is shown as
// its first waypoint spells it.  Waypoints without a symbol are not counted.
template <class HasNone>
void report_missing_icons(const poiset& set, HasNone&& has_none) {
    struct missing {
        std::string_view symbol;
        std::size_t first;  // its first waypoint
        std::size_t count;
    };
    std::unordered_map<std::string_view, std::size_t> index;  // by spelling
    std::vector<missing> symbols;
    for (std::size_t i = 0; i < set.waypoints.size(); ++i) {
        const stored_text& symbol = set.waypoints[i].symbol;
        if (!symbol || symbol->empty() || !has_none(i)) continue;
        auto [it, added] = index.try_emplace(*symbol, symbols.size());
        if (added) symbols.push_back({*symbol, i, 0});
        ++symbols[it->second].count;
    }
    if (symbols.empty()) return;
    std::sort(symbols.begin(), symbols.end(), [](const missing& a, const missing& b) {
        int order = compare_symbols(a.symbol, b.symbol);
        return order != 0 ? order < 0 : a.first < b.first;
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (kept > 0 && compare_symbols(symbols[kept - 1].symbol, symbols[i].symbol) == 0) {
            symbols[kept - 1].count += symbols[i].count;
        } else {
            symbols[kept++] = symbols[i];
        }
    }
    symbols.resize(kept);
    std::stable_sort(symbols.begin(), symbols.end(),
                     [](const missing& a, const missing& b) { return a.count > b.count; });

    std::string list;
    std::size_t named = std::min(symbols.size(), named_missing_symbols);
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) list += ", ";
        list += display_text(symbols[i].symbol, set.texts_encoding(), shown_text);
        list += " (" + std::to_string(symbols[i].count) + ")";
    }
    if (named < symbols.size()) {
        std::size_t rest = 0;
        for (std::size_t i = named; i < symbols.size(); ++i) rest += symbols[i].count;
        list += ", and " + std::to_string(symbols.size() - named) + " more (" +
                std::to_string(rest) + ")";
    }
    report("\n    no icon for %zu symbol%s: %s", symbols.size(), symbols.size() == 1 ? "" : "s",
           list.c_str());
}

}  // namespace

bool select_icons(poiset& set, icon_limit limit_of_set, const split_policy& split) {
    if (!set.icons) return false;
    entry_vector& entries = set.icons->entries;
    std::erase(entries, nullptr);
    if (entries.empty()) {
        report_missing_icons(set, [](std::size_t) { return true; });
        return true;
    }

    sort_by_symbol(entries);
    for (auto& entry : entries) entry->usage = 0;
    // Each waypoint's entry is looked up once: its number in this order, which the
    // entries are sorted back into before the icons are given to the waypoints.
    std::vector<std::uint32_t> found = entries_of_waypoints(set.waypoints, entries, split);
    for (std::uint32_t entry : found) {
        if (entry != no_entry) ++entries[entry]->usage;
    }
    sort_by_usage(entries);

    int limit = limit_of_set.count;
    bool percent = limit_of_set.percent;
    std::size_t loaded = 0;
    std::size_t skipped = 0;
    constexpr const char* loaded_line = "\n%3i. Loaded icon  (used:%5ix): '%s'";
    constexpr const char* skipped_line = "\n%3i. Skipped icon (used:%5ix): '%s'";
    // Numbers run up to 0xFFFE; 0xFFFF means "no icon".
    constexpr std::size_t max_icons = no_icon_id;
    if (limit <= 0) {
        for (std::size_t p = 0; p < entries.size(); ++p) {
            icon_entry& entry = *entries[p];
            if (entry.usage != 0 && p >= max_icons) {
                entry.icon_id = no_icon_id;
                ++skipped;
                report_icon(skipped_line, p, entry);
            } else if (entry.usage != 0) {
                entry.icon_id = static_cast<std::uint16_t>(p);
                report_icon(loaded_line, p, entry);
                loaded = p + 1;
            } else {
                entry.icon_id = no_icon_id;
            }
        }
    } else {
        double share = limit / 100.0;
        double covered = 0.0;
        double waypoint_count = static_cast<double>(set.waypoints.size());
        std::size_t allowed = percent ? entries.size() : static_cast<std::size_t>(limit);
        allowed = std::min({allowed, entries.size(), max_icons});
        for (std::size_t p = 0; p < allowed; ++p) {
            icon_entry& entry = *entries[p];
            if (entry.usage == 0) break;
            if (percent) {
                covered += entry.usage;
                if (covered / waypoint_count > share) break;
            }
            entry.icon_id = static_cast<std::uint16_t>(p);
            report_icon(loaded_line, p, entry);
            loaded = p + 1;
        }
        for (std::size_t p = loaded; p < entries.size(); ++p) {
            icon_entry& entry = *entries[p];
            entry.icon_id = no_icon_id;
            if (entry.usage > 0) {
                ++skipped;
                report_icon(skipped_line, p, entry);
            }
        }
    }
    report("\n    imported %i icons (Skipped %i)", static_cast<int>(loaded),
           static_cast<int>(skipped));
    report_missing_icons(set, [&found](std::size_t i) { return found[i] == no_entry; });

    // The same order as at the lookup: entries of equal symbols that a waypoint found
    // stay in front of those that no waypoint did, as their use is higher.
    sort_by_symbol(entries);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i] == no_entry) continue;
        std::uint16_t id = entries[found[i]]->icon_id;
        if (id == no_icon_id) continue;
        waypoint& w = set.waypoints[i];
        w.flags |= has_icon;
        w.icon_id = id;
    }
    sort_by_usage(entries);
    return true;
}

}  // namespace velmora
