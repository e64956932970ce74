#include "driver/gpi_texts.hpp"

#include <span>
#include <string>

#include "platform/side_by_side.hpp"
#include "text/encoding.hpp"

namespace velmora {

namespace {

text_encoding encoding_of(const poiset& set) {
    return {set.is_utf8, set.locale ? &*set.locale : nullptr};
}

// The group name of a set read from a GPX file or a speed-camera list is its file's name,
// in UTF-8; that of a GPI group is in the code page of its texts.
text_encoding name_encoding_of(const poiset& set) {
    return set.name_is_utf8 ? text_encoding{true, nullptr} : encoding_of(set);
}

// Calls visit on every text of the waypoint: its own texts and the keys and values of
// its address and phone lists.  Every text the model gives a waypoint belongs here.
template <class Waypoint, class Visit>
void for_each_text(Waypoint& w, Visit&& visit) {
    visit(w.name);
    visit(w.symbol);
    visit(w.comment);
    visit(w.description);
    visit(w.link);
    for (auto* list : {w.address.get(), w.phones.get()}) {
        if (list == nullptr) continue;
        for (auto& key : list->keys) visit(key);
        for (auto& value : list->values) visit(value);
    }
}

// Converts the texts of one set's waypoints; each waypoint on its own, so that two
// ranges of a set can be converted side by side by two of these.
class set_text_conversion {
  public:
    set_text_conversion(const poiset& set, const output_code_page& output)
        : converter_(encoding_of(set), output) {}

    void convert(std::span<const std::unique_ptr<waypoint>> waypoints) {
        for (const std::unique_ptr<waypoint>& w : waypoints) {
            for_each_text(*w, [this](std::optional<std::string>& text) {
                if (text) converter_.convert(*text);
            });
        }
    }

    [[nodiscard]] std::uint64_t lost() const { return converter_.lost(); }

  private:
    text_converter converter_;
};

// Sets of at least this many waypoints are converted by two threads.
constexpr std::size_t parallel_conversion_from = 65536;

std::uint64_t convert_set(poiset& set, const output_code_page& output) {
    text_converter name_converter(name_encoding_of(set), output);
    name_converter.convert(set.name);
    set.name_is_utf8 = output.is_utf8();
    std::uint64_t lost = name_converter.lost();

    set_text_conversion first(set, output);
    set_text_conversion second(set, output);
    if (!text_converter(encoding_of(set), output).keeps_bytes()) {
        std::span<const std::unique_ptr<waypoint>> all(set.waypoints);
        auto half = all.size() / 2;
        if (all.size() < parallel_conversion_from ||
            !run_side_by_side([&] { first.convert(all.first(half)); },
                              [&] { second.convert(all.subspan(half)); })) {
            first.convert(all);
        }
    }
    set.is_utf8 = output.is_utf8();
    set.locale = output.page();
    return lost + first.lost() + second.lost();
}

}  // namespace

int choose_gpi_code_page(const poiset_list& list) {
    code_page_chooser chooser;
    for (const std::unique_ptr<poiset>& set : list.poisets) {
        chooser.add(set->name, name_encoding_of(*set));
        text_encoding encoding = encoding_of(*set);
        for (const std::unique_ptr<waypoint>& w : set->waypoints) {
            for_each_text(*w, [&](const std::optional<std::string>& text) {
                if (text) chooser.add(*text, encoding);
            });
        }
    }
    return chooser.choice();
}

std::uint64_t convert_texts_for_gpi(poiset_list& list, const output_code_page& output) {
    std::uint64_t lost = 0;
    for (const std::unique_ptr<poiset>& set : list.poisets) lost += convert_set(*set, output);
    return lost;
}

}  // namespace velmora
