#include "geojson/geojson_reader.hpp"

#include <simdjson.h>

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/field_names.hpp"
#include "model/geometry.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/page_buffer.hpp"
#include "platform/paths.hpp"
#include "platform/side_by_side.hpp"
#include "platform/stdio_file.hpp"
#include "platform/whole_input.hpp"
#include "text/encoding.hpp"
#include "text/strict_numbers.hpp"

namespace velmora {

namespace ondemand = simdjson::ondemand;
static_assert(geojson_padding >= simdjson::SIMDJSON_PADDING);
using ondemand::json_type;

geojson_field geojson_field_of(std::string_view property_name) {
    if (equals_ignore_case(property_name, "marker-symbol")) return geojson_field::maki_symbol;
    switch (field_kind_of(property_name)) {
        case field_kind::name:
            return geojson_field::name;
        case field_kind::description:
            return geojson_field::description;
        case field_kind::comment:
            return geojson_field::comment;
        case field_kind::symbol:
            return geojson_field::symbol;
        case field_kind::category:
            return geojson_field::category;
        case field_kind::street:
            return geojson_field::street;
        case field_kind::house_number:
            return geojson_field::house_number;
        case field_kind::city:
            return geojson_field::city;
        case field_kind::state:
            return geojson_field::state;
        case field_kind::postcode:
            return geojson_field::postcode;
        case field_kind::country:
            return geojson_field::country;
        case field_kind::phone:
            return geojson_field::phone;
        case field_kind::web:
            return geojson_field::web;
        case field_kind::email:
            return geojson_field::email;
        case field_kind::speed:
            return geojson_field::speed;
        case field_kind::proximity:
            return geojson_field::proximity;
        // A feature's position is its geometry.
        case field_kind::latitude:
        case field_kind::longitude:
        case field_kind::none:
            break;
    }
    return geojson_field::none;
}

bool is_geojson_styling_key(std::string_view property_name) {
    static constexpr std::string_view keys[] = {
        "_umap_options", "_storage",     "_storage_options", "marker-color", "marker-size",
        "stroke",        "stroke-width", "stroke-opacity",   "fill",         "fill-opacity",
    };
    for (std::string_view key : keys) {
        if (property_name == key) return true;
    }
    return false;
}

namespace {

// A property of a feature: its name and its value as text (a string unescaped, a number
// as written, an array or object as its JSON text).
struct property {
    std::string_view key;
    std::string_view value;
};

// The tags of a feature for the OpenStreetMap steps, which look them up by
// zero-terminated key: copies of keys and values, each ending in a zero byte, in one
// buffer that keeps its room from feature to feature.
class feature_tags {
  public:
    void clear() {
        bytes_.clear();
        entries_.clear();
    }
    void add(std::string_view key, std::string_view value) {
        std::size_t key_at = bytes_.size();
        bytes_.append(key).push_back('\0');
        std::size_t value_at = bytes_.size();
        bytes_.append(value).push_back('\0');
        entries_.push_back({key_at, value_at, key.size()});
    }
    // Asked for some twenty keys a feature: most tags differ from the key in the first
    // byte, which is compared before the length is taken.
    [[nodiscard]] const char* get_value_by_key(const char* key) const {
        std::size_t size = std::string_view::npos;
        for (const entry& e : entries_) {
            const char* at = bytes_.data() + e.key_at;
            if (*at != *key) continue;
            if (size == std::string_view::npos) size = std::strlen(key);
            if (e.key_size == size && std::memcmp(at, key, size) == 0)
                return bytes_.data() + e.value_at;
        }
        return nullptr;
    }
    [[nodiscard]] std::size_t size() const { return entries_.size(); }
    [[nodiscard]] std::string_view key(std::size_t i) const {
        return {bytes_.data() + entries_[i].key_at, entries_[i].key_size};
    }
    [[nodiscard]] const char* key_c_str(std::size_t i) const {
        return bytes_.data() + entries_[i].key_at;
    }
    [[nodiscard]] const char* value_c_str(std::size_t i) const {
        return bytes_.data() + entries_[i].value_at;
    }

  private:
    struct entry {
        std::size_t key_at;
        std::size_t value_at;
        std::size_t key_size;
    };
    std::string bytes_;
    std::vector<entry> entries_;
};

// What a file's features left out, told once per file.
struct left_out_counts {
    long long null_geometry = 0;
    long long lines = 0;           // LineString, MultiLineString
    long long other_geometry = 0;  // unknown types, no geometry member
    long long bad_positions = 0;
    long long long_texts = 0;
    long long repeated_names = 0;
    long long not_features = 0;  // members of "features" that are no Feature object
};

// Where a feature stands in the document, for messages: "features[12]" or
// "layers[1].features[12]".
struct feature_place {
    long long layer = -1;  // -1: not in a uMap layer
    long long index = 0;
    [[nodiscard]] std::string text() const {
        std::string s;
        if (layer >= 0) s = "layers[" + std::to_string(layer) + "].";
        return s + "features[" + std::to_string(index) + "]";
    }
};

// The field of an object's member; its error ends the reading.
ondemand::field checked(simdjson::simdjson_result<ondemand::field>& result) {
    ondemand::field field;
    if (simdjson::error_code error = std::move(result).get(field))
        throw simdjson::simdjson_error(error);
    return field;
}

// The name of an object's member.  A name without escapes is taken where it lies in the
// text (the library has found its quotes), else unescaped by the library.
std::string_view key_of(ondemand::field& field) {
    const char* start = field.key().raw();
    for (const char* p = start;; ++p) {
        if (*p == '"') return {start, static_cast<std::size_t>(p - start)};
        if (*p == '\\') break;
    }
    return field.unescaped_key().value();
}

// How many members of an object are compared with each new one for a repeated name.
constexpr std::size_t max_checked_members = 64;

// A new set, its texts UTF-8 as JSON's are; one left unnamed is named after the document
// at its end.
std::unique_ptr<poiset> make_set(std::string name) {
    auto set = std::make_unique<poiset>();
    set->name = std::move(name);
    set->name_is_utf8 = true;
    set->is_utf8 = true;
    return set;
}

// The sets that features name in their "set" property, in the order the names first
// come.  Only the maker's thread fills them; the reading takes them once the features
// are made.
class named_sets {
  public:
    // The set of a name, made when it first comes.  The name of the last feature's set is
    // compared first, so that a file of one set (or of sets in runs) costs no lookup and
    // no copy of the name per feature.
    poiset& of(std::string_view name) {
        if (last_ != nullptr && last_->name == name) return *last_;
        if (auto found = index_.find(name); found != index_.end()) {
            last_ = sets_[found->second].get();
        } else {
            sets_.push_back(make_set(std::string(name)));
            last_ = sets_.back().get();
            index_.emplace(last_->name, sets_.size() - 1);
        }
        return *last_;
    }
    [[nodiscard]] bool empty() const { return sets_.empty(); }
    std::vector<std::unique_ptr<poiset>> take() {
        last_ = nullptr;
        index_.clear();
        return std::move(sets_);
    }

  private:
    struct name_hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::vector<std::unique_ptr<poiset>> sets_;
    std::unordered_map<std::string, std::size_t, name_hash, std::equal_to<>> index_;
    poiset* last_ = nullptr;
};

// A set being filled and the category its layer's POIs get.
struct set_target {
    poiset* set = nullptr;
    std::string_view layer_category;  // empty: none
    std::optional<std::uint16_t> layer_index;
    // Features outside uMap layers that name a set in their "set" property (as GeoJSON
    // output writes one per POI set) go into that set instead.
    bool sets_by_property = false;
    named_sets named;
};

// A token of the text without the blanks that follow it.
std::string_view trimmed_token(std::string_view token) {
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t' || token.back() == '\n' ||
                              token.back() == '\r'))
        token.remove_suffix(1);
    return token;
}

// Line and column (from 1, in bytes) of an offset into the text.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    return {line, offset - line_start + 1};
}

// Lines and columns of offsets into a text asked in rising order, found by walking the
// text once (from its start again for an offset before the last).
class text_places {
  public:
    explicit text_places(std::string_view text) : text_(text) {}
    std::pair<std::size_t, std::size_t> at(std::size_t offset) {
        offset = std::min(offset, text_.size());
        if (offset < at_) *this = text_places(text_);
        for (; at_ < offset; ++at_) {
            if (text_[at_] == '\n') {
                ++line_;
                line_start_ = at_ + 1;
            }
        }
        return {line_, offset - line_start_ + 1};
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;
};

// Where a value's JSON text first opens an array or object more than `limit` levels
// deep; none when it stays within.  The library passes over the values that the reading
// does not look into without counting their levels; their text, whose strings it has
// found, is walked here.
std::optional<std::size_t> too_deep_at(std::string_view json, std::size_t limit) {
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return i;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

// The text of a string value.  One without escapes is taken where it lies in the text,
// without a copy (the library has found its quotes), else unescaped by the library.
std::string_view string_text(ondemand::value& value) {
    std::string_view token = value.raw_json_token();
    if (std::size_t close = token.find_last_of('"');
        close != 0 && close != std::string_view::npos) {
        std::string_view inner = token.substr(1, close - 1);
        if (std::memchr(inner.data(), '\\', inner.size()) == nullptr) return inner;
    }
    return value.get_string().value();
}

// A feature read and waiting for its POIs: its properties (or the tags of its nested
// "tags" object) and its points, in the lists of its batch.
struct pending_feature {
    set_target* target = nullptr;
    std::size_t first_property = 0;
    std::size_t property_count = 0;
    std::size_t first_point = 0;
    std::size_t point_count = 0;
    bool tags_object = false;  // the properties are those of a nested "tags" object
    bool osm_id = false;       // its id names an OpenStreetMap object
};

// Features read and waiting for their POIs, and where the text that they were read from
// may be given back once they are made.
struct feature_batch {
    std::vector<pending_feature> features;
    std::vector<property> properties;
    std::vector<geo_point> points;
    std::size_t passed_to = 0;  // the text before this offset is read; 0: none
    void clear() {
        features.clear();
        properties.clear();
        points.clear();
        passed_to = 0;
    }
};

// Features in a batch: when full, it is handed on.
constexpr std::size_t batch_features = 2048;

// The POIs of the features read: their fields, symbols and categories, into the sets.
// It keeps the room of its texts from feature to feature and looks at no JSON, so that
// it can work on another thread than the reading.
class poi_maker {
  public:
    poi_maker(const geojson_options& options, passed_text passed)
        : options_(options), osm_(options.osm), passed_(std::move(passed)) {
        if (osm_.mapping != nullptr) {
            symbols_.emplace(*osm_.mapping);
            osm_.symbols = &*symbols_;
        }
    }

    // Makes the POIs of a batch's features, then gives back the text they were read from.
    void make(const feature_batch& batch) {
        for (const pending_feature& feature : batch.features) make_pois(feature, batch);
        if (batch.passed_to > 0) pass_bytes_up_to(passed_, released_, batch.passed_to);
    }

    // Features that the tag filter did not select.
    [[nodiscard]] long long unmatched() const { return unmatched_; }

  private:
    // Whether the feature's properties are OpenStreetMap tags (as overpass turbo and
    // OpenStreetMap extracts in GIS programs give them).
    static bool looks_like_osm(const pending_feature& feature,
                               std::span<const property> properties) {
        if (feature.tags_object || feature.osm_id) return true;
        for (const property& p : properties) {
            if (p.key == "@id" || p.key.starts_with("addr:") || p.key.starts_with("contact:") ||
                p.key.starts_with("name:") || p.key == "opening_hours")
                return true;
        }
        return false;
    }

    // The tag of a feature without a filter that gives it a symbol in the mapping file.
    osm_tag_match symbol_tag() const {
        if (!symbols_) return {};
        for (std::size_t i = 0; i < tags_.size(); ++i) {
            const std::string* symbol = symbols_->find(tags_.key(i), tags_.value_c_str(i));
            if (symbol == nullptr) continue;
            // The POI's symbol is looked up by the key as far as a zero byte in it.
            const bool whole_key = tags_.key(i).find('\0') == std::string_view::npos;
            return {-1, tags_.key_c_str(i), tags_.value_c_str(i), whole_key ? symbol : nullptr};
        }
        return {};
    }

    void make_pois(const pending_feature& feature, const feature_batch& batch) {
        const std::span<const property> properties(batch.properties.data() + feature.first_property,
                                                   feature.property_count);
        const std::span<const geo_point> points(batch.points.data() + feature.first_point,
                                                feature.point_count);
        set_target& target = *feature.target;
        bool osm_like = looks_like_osm(feature, properties);
        if (options_.filter != nullptr || osm_like) {
            tags_.clear();
            for (const property& p : properties) tags_.add(p.key, p.value);
        }
        osm_tag_match match;
        if (options_.filter != nullptr) {
            match = match_osm_tags(*options_.filter, tags_);
            if (match.category < 0) {
                ++unmatched_;
                return;
            }
            osm_like = true;
        } else if (osm_like) {
            match = symbol_tag();
        }
        poiset& set = set_of(target, properties);
        if (!target.layer_category.empty() && !target.layer_index) {
            target.layer_index = set.category_index(target.layer_category);
        }
        std::optional<std::uint16_t> filter_category;
        if (match.category >= 0) {
            const std::string& term =
                options_.filter->categories[static_cast<std::size_t>(match.category)];
            filter_category = set.category_index(
                options_.osm.mapping != nullptr ? osm_category_name(*options_.osm.mapping, term)
                                                : term);
        }
        for (const geo_point& at : points) {
            waypoint* w = poiset_add_waypoint(set);
            if (w == nullptr) throw std::bad_alloc();
            if (osm_like) {
                fill_osm_poi(poi_, tags_, match, at.lat, at.lon, osm_);
                store_osm_poi(set, *w, poi_);
            } else {
                store_generic(set, *w, at, properties);
            }
            if (target.layer_index) add_category(set, *w, *target.layer_index);
            if (filter_category) add_category(set, *w, *filter_category);
        }
    }

    // The set named by the feature's "set" property where the target takes it, else the
    // target's.  The property is looked for from the end, where GeoJSON output puts it.
    static poiset& set_of(set_target& target, std::span<const property> properties) {
        if (target.sets_by_property) {
            for (auto p = properties.rbegin(); p != properties.rend(); ++p) {
                if (p->key != geojson_set_property) continue;
                if (!p->value.empty()) return target.named.of(p->value);
                break;
            }
        }
        return *target.set;
    }

    static void add_category(poiset& set, waypoint& w, std::uint16_t index) {
        auto& categories = set.details_for(w).categories;
        for (std::uint16_t c : categories) {
            if (c == index) return;
        }
        categories.push_back(index);
    }

    // The fields of properties by their usual names; the other properties, in document
    // order, as "name: value" lines after the description.
    void store_generic(poiset& set, waypoint& w, const geo_point& at,
                       std::span<const property> properties) {
        w.flags = has_position;
        w.lat = at.lat;
        w.lon = at.lon;
        std::optional<std::string_view> description;
        std::optional<double> speed;
        std::optional<double> proximity;
        lines_.clear();
        for (const property& p : properties) {
            if (is_geojson_styling_key(p.key) || p.key == geojson_set_property) continue;
            auto take = [&](stored_text& field) {
                if (!field) field = set.store(p.value);
            };
            auto address = [&](std::string_view part) {
                set.details_for(w).address.push_back({set.store(part), set.store(p.value)});
            };
            auto contact = [&](std::string_view kind) {
                set.details_for(w).phones.push_back({set.store(kind), set.store(p.value)});
            };
            switch (geojson_field_of(p.key)) {
                case geojson_field::name:
                    take(w.name);
                    break;
                case geojson_field::description:
                    if (!description) description = p.value;
                    break;
                case geojson_field::comment:
                    take(w.comment);
                    break;
                case geojson_field::symbol:
                    take(w.symbol);
                    break;
                case geojson_field::maki_symbol:
                    if (!w.symbol) {
                        const std::string* garmin =
                            options_.osm.mapping != nullptr
                                ? maki_symbol_for(*options_.osm.mapping, p.value)
                                : nullptr;
                        w.symbol =
                            set.store(garmin != nullptr ? std::string_view(*garmin) : p.value);
                    }
                    break;
                case geojson_field::category:
                    if (!p.value.empty()) set.add_to_category(w, p.value);
                    break;
                case geojson_field::street:
                    address(address_street);
                    break;
                case geojson_field::house_number:
                    address(address_house_number);
                    break;
                case geojson_field::city:
                    address(address_city);
                    break;
                case geojson_field::state:
                    address(address_state);
                    break;
                case geojson_field::postcode:
                    address(address_postcode);
                    break;
                case geojson_field::country:
                    address(address_country);
                    break;
                case geojson_field::phone:
                    contact(contact_phone);
                    break;
                case geojson_field::web:
                    contact(contact_web);
                    break;
                case geojson_field::email:
                    contact(contact_email);
                    break;
                // A number, or a text holding one; the first wins.
                case geojson_field::speed:
                    if (!speed) speed = alert_number(p.value, max_speed_in_name);
                    break;
                case geojson_field::proximity:
                    if (!proximity) proximity = alert_number(p.value, max_alert_distance);
                    break;
                case geojson_field::none:
                    // A phone number of another kind, as the GeoJSON writer gives a fax.
                    if (p.key.size() > geojson_phone_prefix.size() &&
                        equals_ignore_case(p.key.substr(0, geojson_phone_prefix.size()),
                                           geojson_phone_prefix)) {
                        contact(p.key.substr(geojson_phone_prefix.size()));
                        break;
                    }
                    if (!lines_.empty()) lines_ += '\n';
                    lines_.append(p.key).append(": ").append(p.value);
                    break;
            }
        }
        // A speed alert warns from ten metres per km/h ahead unless a proximity is given.
        if (speed) {
            w.speed = *speed;
            w.proximity = *speed * 10.0;
            w.flags |= has_speed | has_proximity | proximity_from_speed;
        }
        if (proximity) {
            w.proximity = *proximity;
            w.flags = (w.flags | has_proximity) & ~proximity_from_speed;
        }
        if (description && !lines_.empty()) {
            text_ = *description;
            if (!text_.empty()) text_ += '\n';
            text_ += lines_;
            w.description = set.store(text_);
        } else if (description) {
            w.description = set.store(*description);
        } else if (!lines_.empty()) {
            w.description = set.store(lines_);
        }
    }

    // Alert distances beyond this many metres (a hundred kilometres) are no alert.
    static constexpr double max_alert_distance = 100000.0;

    // A speed or distance above zero and at most `most`; none for anything else.
    static std::optional<double> alert_number(std::string_view text, double most) {
        std::optional<double> number = whole_decimal(text);
        if (!number || !(*number > 0.0) || *number > most) return std::nullopt;
        return number;
    }

    const geojson_options& options_;
    std::optional<osm_symbol_index> symbols_;  // of the mapping, when there is one
    osm_poi_options osm_;                      // options_.osm with symbols_
    passed_text passed_;
    std::size_t released_ = 0;
    long long unmatched_ = 0;
    feature_tags tags_;
    osm_poi poi_;
    std::string lines_;
    std::string text_;
};

// Batches handed from the thread that reads the text to the one that makes their POIs,
// a few at a time; the made ones come back to be filled again.
class batch_handoff {
  public:
    static constexpr std::size_t in_flight = 4;

    batch_handoff() {
        for (std::size_t i = 0; i < in_flight; ++i)
            empty_.push_back(std::make_unique<feature_batch>());
    }

    // An empty batch to fill, once one is there; none when the maker has stopped.
    std::unique_ptr<feature_batch> take_empty() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !empty_.empty() || stopped_; });
        if (stopped_) return nullptr;
        auto batch = std::move(empty_.front());
        empty_.pop_front();
        return batch;
    }
    void hand_full(std::unique_ptr<feature_batch> batch) {
        {
            std::lock_guard lock(mutex_);
            full_.push_back(std::move(batch));
        }
        changed_.notify_all();
    }
    // No more batches come.
    void finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
    }
    // The next full batch, once one is there; none when no more come.
    std::unique_ptr<feature_batch> take_full() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !full_.empty() || finished_; });
        if (full_.empty()) return nullptr;
        auto batch = std::move(full_.front());
        full_.pop_front();
        return batch;
    }
    void give_back(std::unique_ptr<feature_batch> batch) {
        batch->clear();
        {
            std::lock_guard lock(mutex_);
            empty_.push_back(std::move(batch));
        }
        changed_.notify_all();
    }
    // The maker failed: the reading stops.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<feature_batch>> empty_;
    std::deque<std::unique_ptr<feature_batch>> full_;
    bool finished_ = false;
    bool stopped_ = false;
};

// Thrown on the reading thread when the maker has stopped (its own exception follows).
struct maker_stopped {};

class geojson_document_reader {
  public:
    // `passed`, when given, is told of the bytes of the text in front of a feature, which
    // the reading does not look at again.
    geojson_document_reader(const geojson_options& options, const std::string& display,
                            std::string_view text, passed_text passed)
        : options_(options),
          display_(display),
          document_(text),
          places_(text),
          maker_(options, std::move(passed)) {}

    // Reads the root; the sets go to `sets`, which the caller appends to the run's list
    // only when the whole document was read.
    bool read_root(ondemand::document& doc, std::string_view base_name,
                   std::vector<std::unique_ptr<poiset>>& sets) {
        if (doc.type().value() != json_type::object) {
            report(
                "\nError: Reading the GeoJSON file (%s) failed: the document is no JSON "
                "object; nothing imported.",
                display_.c_str());
            return false;
        }
        ondemand::object root = doc.get_object().value();
        sets_ = &sets;
        // One walk through the root's members in their order, whatever it is: the
        // features are read where they stand, and the sets named at the end.
        std::optional<std::string> type;
        std::optional<std::string> name;      // the document's name member
        std::optional<std::string> map_name;  // uMap's, in its properties
        poiset* file_set = nullptr;
        for (auto field_result : root) {
            ondemand::field field = checked(field_result);
            std::string_view key = key_of(field);
            ondemand::value value = field.value();
            if (key == "type" && !type) {
                if (value.type().value() == json_type::string)
                    type = std::string(value.get_string().value());
            } else if (key == "name" && !name) {
                if (value.type().value() == json_type::string)
                    name = std::string(value.get_string().value());
            } else if (key == "features" && file_set == nullptr) {
                file_set = new_set();
                set_target target{file_set, {}, {}, true, {}};
                read_features(value, target, -1);
                take_named_sets(target);
            } else if (key == "layers" && !layers_read_) {
                layers_read_ = true;
                read_umap_layers(value);
            } else if (key == "properties" && !map_name &&
                       value.type().value() == json_type::object) {
                ondemand::object map_options = value.get_object().value();
                if (auto n = string_member(map_options, "name")) map_name = std::string(*n);
            } else {
                deep_at_.reset();
                check_passed_over(value);
                if (deep_at_) too_deep(nullptr);
            }
        }
        const std::string kind = type.value_or("");
        if (kind != "FeatureCollection" && kind != "Feature" && kind != "umap") {
            report(
                "\nError: Reading the GeoJSON file (%s) failed: it holds no "
                "FeatureCollection, Feature or uMap document (\"type\": \"%s\"); nothing "
                "imported.",
                display_.c_str(), kind.c_str());
            return false;
        }
        if (kind == "Feature") {
            // A single feature is read again, now that it is known to be one.
            file_set = new_set();
            set_target target{file_set, {}, {}, true, {}};
            if (simdjson::error_code error = root.reset().error())
                throw simdjson::simdjson_error(error);
            read_feature(root, target, {-1, 0});
            make_rest();
            take_named_sets(target);
        }
        if (kind == "FeatureCollection" && file_set == nullptr) file_set = new_set();
        if (kind == "umap" && layer_set_ == nullptr && !options_.layers_as_sets)
            layer_set_ = new_set();
        std::string set_name(base_name);
        if (name && !name->empty()) {
            set_name = *name;
        } else if (kind == "umap" && map_name && !map_name->empty()) {
            set_name = *map_name;
        }
        for (auto& set : sets) {
            if (set->name.empty()) set->name = set_name;
        }
        return true;
    }

    void report_counts() const {
        const left_out_counts& c = counts_;
        report("\n    read %lli features", features_);
        const std::pair<long long, const char*> lines[] = {
            {c.null_geometry, "features without geometry were left out"},
            {c.lines, "features with lines (LineString, MultiLineString) were left out"},
            {c.other_geometry, "features of no known geometry were left out"},
            {c.not_features, "members of \"features\" are no Feature object and were left out"},
            {c.bad_positions, "positions were bad and left out"},
            {c.repeated_names, "members repeated a name before them; the first was taken"},
        };
        for (const auto& [count, text] : lines) {
            if (count > 0) report("\nWarning: %lli %s", count, text);
        }
        if (c.long_texts > 0) {
            report("\nWarning: %lli texts longer than %zu bytes were left out", c.long_texts,
                   geojson_max_text);
        }
        if (maker_.unmatched() > 0)
            report("\n    %lli features did not match the tag filter", maker_.unmatched());
    }

  private:
    // ---- members of objects --------------------------------------------------------

    // The string value of an object's member, searched in any order; none when it is
    // missing or no string.
    static std::optional<std::string_view> string_member(ondemand::object& object,
                                                         std::string_view key) {
        std::optional<ondemand::value> v = member(object, key);
        if (!v || v->type().value() != json_type::string) return std::nullopt;
        return string_text(*v);
    }

    // An object's member, searched in any order; none when there is none.  Any other
    // fault of the text ends the reading (the library's iterator can't go on).
    static std::optional<ondemand::value> member(ondemand::object& object, std::string_view key) {
        ondemand::value v;
        simdjson::error_code error = object.find_field_unordered(key).get(v);
        if (error == simdjson::NO_SUCH_FIELD) return std::nullopt;
        if (error) throw simdjson::simdjson_error(error);
        return v;
    }

    // A new set; one left unnamed is named after the document at its end.
    poiset* new_set(std::string name = {}) {
        sets_->push_back(make_set(std::move(name)));
        return sets_->back().get();
    }

    // The sets that the target's features named, after its own set, which is left out
    // when every feature named one.
    void take_named_sets(set_target& target) {
        if (target.named.empty()) return;
        if (target.set->count() == 0 && !sets_->empty() && sets_->back().get() == target.set)
            sets_->pop_back();
        for (auto& set : target.named.take()) sets_->push_back(std::move(set));
    }

    void read_umap_layers(ondemand::value& layers) {
        if (layers.type().value() != json_type::array) return;
        if (!options_.layers_as_sets && layer_set_ == nullptr) layer_set_ = new_set();
        long long layer_number = 0;
        for (auto layer_result : layers.get_array()) {
            ondemand::value layer_value = layer_result.value();
            long long number = layer_number++;
            if (layer_value.type().value() != json_type::object) continue;
            ondemand::object layer = layer_value.get_object().value();
            std::string layer_name;
            std::optional<ondemand::value> umap_options = member(layer, "_umap_options");
            if (umap_options && umap_options->type().value() == json_type::object) {
                ondemand::object layer_options = umap_options->get_object().value();
                if (auto n = string_member(layer_options, "name")) layer_name = std::string(*n);
            }
            std::optional<ondemand::value> features = member(layer, "features");
            if (!features) continue;
            set_target target;
            if (layer_set_ != nullptr) {
                target.set = layer_set_;
                target.layer_category = layer_name;
            } else {
                target.set = new_set(layer_name);  // unnamed: named after the map
            }
            read_features(*features, target, number);
            // A layer of its own that gave nothing is no set.
            if (layer_set_ == nullptr && target.set->count() == 0) sets_->pop_back();
        }
    }

    // The features of a collection: in a long text, their POIs are made on another
    // thread while the reading goes on here.
    void read_features(ondemand::value& features, set_target& target, long long layer) {
        if (features.type().value() != json_type::array) return;
        ondemand::array items = features.get_array().value();
        if (document_.size() >= options_.two_threads_from) {
            batch_handoff handoff;
            if (run_side_by_side([&] { read_handing_on(items, target, layer, handoff); },
                                 [&] { make_handed(handoff); }))
                return;
        }
        read_items(items, target, layer);
        make_rest();
    }

    // The POIs of the features read and not yet made, made here.
    void make_rest() {
        maker_.make(*batch_);
        batch_->clear();
    }

    void read_handing_on(ondemand::array& items, set_target& target, long long layer,
                         batch_handoff& handoff) {
        // However the reading ends, the maker is told that no more batches come.
        struct handing_on {
            geojson_document_reader& reader;
            batch_handoff& handoff;
            ~handing_on() {
                handoff.finish();
                reader.handoff_ = nullptr;
                reader.handed_batch_.reset();
                reader.batch_ = &reader.own_batch_;
            }
        } guard{*this, handoff};
        handoff_ = &handoff;
        handed_batch_ = handoff.take_empty();
        if (!handed_batch_) return;
        batch_ = handed_batch_.get();
        try {
            read_items(items, target, layer);
            handoff.hand_full(std::move(handed_batch_));
        } catch (const maker_stopped&) {
            // The maker's exception is thrown again once both threads have ended.
        }
    }

    void make_handed(batch_handoff& handoff) {
        std::exception_ptr failure;
        while (std::unique_ptr<feature_batch> batch = handoff.take_full()) {
            if (!failure) {
                try {
                    maker_.make(*batch);
                } catch (...) {
                    failure = std::current_exception();
                    handoff.stop();
                }
            }
            handoff.give_back(std::move(batch));
        }
        if (failure) std::rethrow_exception(failure);
    }

    void read_items(ondemand::array& items, set_target& target, long long layer) {
        long long index = 0;
        for (auto item : items) {
            ondemand::value feature = item.value();
            // The text in front of a feature is not looked at again.
            const char* at = feature.raw_json_token().data();
            if (at >= document_.data() && at <= document_.data() + document_.size())
                batch_->passed_to = static_cast<std::size_t>(at - document_.data());
            feature_place place{layer, index++};
            if (feature.type().value() != json_type::object) {
                deep_at_.reset();
                check_passed_over(feature);
                if (deep_at_) {
                    too_deep(&place);
                } else {
                    ++counts_.not_features;
                }
                continue;
            }
            ondemand::object object = feature.get_object().value();
            read_feature(object, target, place);
        }
    }

    // ---- one feature -------------------------------------------------------------

    void read_feature(ondemand::object& object, set_target& target, feature_place place) {
        ++features_;
        properties_.clear();
        nested_.clear();
        points_.clear();
        has_tags_object_ = false;
        osm_id_ = false;
        bool seen_geometry = false;
        bool seen_properties = false;
        bool seen_id = false;
        geometry_ = geometry_kind::missing;
        deep_at_.reset();
        for (auto field_result : object) {
            ondemand::field field = checked(field_result);
            std::string_view key = key_of(field);
            ondemand::value value = field.value();
            if (key == "geometry" && !seen_geometry) {
                seen_geometry = true;
                read_geometry(value, place, 0);
            } else if (key == "properties" && !seen_properties &&
                       value.type().value() == json_type::object) {
                seen_properties = true;
                ondemand::object properties = value.get_object().value();
                read_properties(properties);
            } else if (key == "id" && !seen_id && value.type().value() == json_type::string) {
                seen_id = true;
                osm_id_ = looks_like_osm_id(string_text(value));
            } else {
                if ((key == "geometry" && seen_geometry) ||
                    (key == "properties" && seen_properties))
                    ++counts_.repeated_names;
                if (key == "properties") seen_properties = true;
                if (key == "id") seen_id = true;
                check_passed_over(value);
            }
        }
        if (deep_at_) {
            too_deep(&place);
            return;
        }
        switch (geometry_) {
            case geometry_kind::null:
                ++counts_.null_geometry;
                return;
            case geometry_kind::line:
                ++counts_.lines;
                return;
            case geometry_kind::missing:
            case geometry_kind::other:
                ++counts_.other_geometry;
                return;
            case geometry_kind::bad:
                return;
            case geometry_kind::points:
                break;
        }
        if (points_.empty()) return;
        // Its POIs are made with the batch.
        pending_feature pending{&target,
                                batch_->properties.size(),
                                has_tags_object_ ? nested_.size() : properties_.size(),
                                batch_->points.size(),
                                points_.size(),
                                has_tags_object_,
                                osm_id_};
        const std::vector<property>& taken = has_tags_object_ ? nested_ : properties_;
        batch_->properties.insert(batch_->properties.end(), taken.begin(), taken.end());
        batch_->points.insert(batch_->points.end(), points_.begin(), points_.end());
        batch_->features.push_back(pending);
        if (batch_->features.size() >= batch_features) hand_on_batch();
    }

    // The batch's features made into POIs here, or handed to the maker's thread.
    void hand_on_batch() {
        if (handoff_ == nullptr) {
            maker_.make(*batch_);
            batch_->clear();
            return;
        }
        handoff_->hand_full(std::move(handed_batch_));
        handed_batch_ = handoff_->take_empty();
        if (!handed_batch_) throw maker_stopped();
        batch_ = handed_batch_.get();
    }

    static bool looks_like_osm_id(std::string_view id) {
        return id.starts_with("node/") || id.starts_with("way/") || id.starts_with("relation/");
    }

    // The JSON text of an array or object, read past.
    static std::string_view container_text(ondemand::value& value) {
        if (value.type().value() == json_type::array)
            return value.get_array().value().raw_json().value();
        return value.get_object().value().raw_json().value();
    }

    // Whether the JSON text of a value nests no deeper than the limit; the place of the
    // first level too deep is kept for the feature's message otherwise.
    bool within_depth(std::string_view json) {
        std::optional<std::size_t> at = too_deep_at(json, geojson_max_depth);
        if (!at) return true;
        if (!deep_at_) deep_at_ = static_cast<std::size_t>(json.data() - document_.data()) + *at;
        return false;
    }

    // A value that the reading passes over: an array or object is looked at for its
    // depth, as one whose depth nobody counted could hide a hundred thousand levels.
    void check_passed_over(ondemand::value& value) {
        json_type type = value.type().value();
        if (type == json_type::array || type == json_type::object)
            (void)within_depth(container_text(value));
    }

    // Tells of nesting deeper than the limit at deep_at_: a feature (or member of
    // "features") is left out, a member of the document passed over.
    void too_deep(const feature_place* place) {
        auto [line, column] = places_.at(*deep_at_);
        if (place != nullptr) {
            report_problem(
                "\nWarning: GeoJSON %s nests arrays and objects more than %zu deep (line %zu, "
                "column %zu), skipped",
                place->text().c_str(), geojson_max_depth, line, column);
        } else {
            report_problem(
                "\nWarning: The GeoJSON file (%s) nests arrays and objects more than %zu deep "
                "(line %zu, column %zu); that member of the document was passed over",
                shown_file_name(display_).c_str(), geojson_max_depth, line, column);
        }
    }

    // The text of a property's value; none for null and for texts over the limit.
    std::optional<std::string_view> value_text(ondemand::value& value) {
        switch (value.type().value()) {
            case json_type::string: {
                if (value.raw_json_token().size() > geojson_max_text + 2) {
                    ++counts_.long_texts;
                    return std::nullopt;
                }
                return string_text(value);
            }
            case json_type::number:
                return trimmed_token(value.raw_json_token());
            case json_type::boolean:
                return value.get_bool().value() ? std::string_view("true")
                                                : std::string_view("false");
            case json_type::null:
                if (!value.is_null().value())
                    throw simdjson::simdjson_error(simdjson::N_ATOM_ERROR);
                return std::nullopt;
            case json_type::array:
            case json_type::object: {
                std::string_view text = container_text(value);
                if (text.size() > geojson_max_text) {
                    ++counts_.long_texts;
                    return std::nullopt;
                }
                if (!within_depth(text)) return std::nullopt;
                return trimmed_token(text);
            }
        }
        return std::nullopt;
    }

    // Whether a property of that name came before; repeated ones are counted and left.
    bool repeated(const std::vector<property>& list, std::string_view key) {
        // Checked among the first members only, so that a feature of a hundred thousand
        // properties costs no quadratic time; further repeats stay (the first still wins).
        if (list.size() > max_checked_members) return false;
        for (const property& p : list) {
            if (p.key.size() == key.size() && p.key == key) {
                ++counts_.repeated_names;
                return true;
            }
        }
        return false;
    }

    void read_properties(ondemand::object& properties) {
        for (auto field_result : properties) {
            ondemand::field field = checked(field_result);
            std::string_view key = key_of(field);
            ondemand::value value = field.value();
            if (key == "tags" && !has_tags_object_ && value.type().value() == json_type::object) {
                // overpass turbo's older form: the tags nested in their own object.
                has_tags_object_ = true;
                ondemand::object tags = value.get_object().value();
                for (auto tag_result : tags) {
                    ondemand::field tag = checked(tag_result);
                    std::string_view tag_key = key_of(tag);
                    ondemand::value tag_value = tag.value();
                    auto text = value_text(tag_value);
                    if (!text || repeated(nested_, tag_key)) continue;
                    nested_.push_back({tag_key, *text});
                }
                continue;
            }
            if (value.type().value() == json_type::array &&
                geojson_field_of(key) == geojson_field::category) {
                read_categories(key, value);
                continue;
            }
            auto text = value_text(value);
            if (!text || repeated(properties_, key)) continue;
            properties_.push_back({key, *text});
        }
    }

    // A list of categories (as the GeoJSON writer gives a POI in several): each text a
    // category property of its own.
    void read_categories(std::string_view key, ondemand::value& list) {
        if (repeated(properties_, key)) {
            check_passed_over(list);
            return;
        }
        for (auto item : list.get_array()) {
            ondemand::value category = item.value();
            if (category.type().value() != json_type::string) {
                check_passed_over(category);
                continue;
            }
            if (auto text = value_text(category)) properties_.push_back({key, *text});
        }
    }

    // ---- geometry ----------------------------------------------------------------

    enum class geometry_kind { missing, null, points, line, other, bad };

    // A position [lon, lat] or [lon, lat, alt] within range; none otherwise.
    static std::optional<geo_point> read_position(ondemand::value& value) {
        if (value.type().value() != json_type::array) return std::nullopt;
        double numbers[3] = {0.0, 0.0, 0.0};
        std::size_t count = 0;
        for (auto item : value.get_array()) {
            ondemand::value number = item.value();
            if (count == 3) return std::nullopt;  // more than three: no position
            if (number.type().value() != json_type::number) return std::nullopt;
            double d = 0.0;
            simdjson::error_code error = number.get_double().get(d);
            if (error == simdjson::NUMBER_ERROR) return std::nullopt;  // 1e999 and the like
            if (error) throw simdjson::simdjson_error(error);
            numbers[count++] = d;
        }
        if (count < 2) return std::nullopt;
        const double lon = numbers[0];
        const double lat = numbers[1];
        if (!std::isfinite(lat) || !std::isfinite(lon) || lat < -90.0 || lat > 90.0 ||
            lon < -180.0 || lon > 180.0)
            return std::nullopt;
        return geo_point{lat, lon};
    }

    void bad_position(const feature_place& place) {
        ++counts_.bad_positions;
        report_problem(
            "\nWarning: GeoJSON %s has a bad position ([lon, lat] within range expected), "
            "skipped",
            place.text().c_str());
    }

    // The rings of a polygon added to the sum; false when a position is bad.
    bool read_polygon(ondemand::value& value, area_centroid& sum) {
        if (value.type().value() != json_type::array) return false;
        bool outer = true;
        for (auto ring_item : value.get_array()) {
            ondemand::value ring_value = ring_item.value();
            if (ring_value.type().value() != json_type::array) return false;
            ring_.clear();
            for (auto position_item : ring_value.get_array()) {
                ondemand::value position_value = position_item.value();
                auto position = read_position(position_value);
                if (!position) return false;
                ring_.push_back(*position);
            }
            sum.add_ring(ring_, !outer);
            outer = false;
        }
        return true;
    }

    void read_geometry(ondemand::value& value, const feature_place& place, int depth) {
        json_type type = value.type().value();
        if (type == json_type::null) {
            if (!value.is_null().value()) throw simdjson::simdjson_error(simdjson::N_ATOM_ERROR);
            if (depth == 0) geometry_ = geometry_kind::null;
            return;
        }
        if (type != json_type::object) {
            if (depth == 0) geometry_ = geometry_kind::other;
            return;
        }
        ondemand::object object = value.get_object().value();
        std::string_view kind = string_member(object, "type").value_or("");
        if (kind == "GeometryCollection") {
            if (depth == 0) geometry_ = geometry_kind::points;
            if (depth >= 8) return;
            std::optional<ondemand::value> members = member(object, "geometries");
            if (!members || members->type().value() != json_type::array) return;
            // Its points (of Point and MultiPoint members) are the feature's.
            for (auto item : members->get_array()) {
                ondemand::value part = item.value();
                read_geometry(part, place, depth + 1);
            }
            return;
        }
        const bool point = kind == "Point";
        const bool multi_point = kind == "MultiPoint";
        const bool polygon = kind == "Polygon";
        const bool multi_polygon = kind == "MultiPolygon";
        if (depth > 0 && !point && !multi_point) return;
        if (!point && !multi_point && !polygon && !multi_polygon) {
            geometry_ = kind == "LineString" || kind == "MultiLineString" ? geometry_kind::line
                                                                          : geometry_kind::other;
            return;
        }
        if (depth == 0) geometry_ = geometry_kind::points;
        std::optional<ondemand::value> found = member(object, "coordinates");
        if (!found) {
            if (depth == 0) geometry_ = geometry_kind::other;
            return;
        }
        ondemand::value& coordinates = *found;
        if (point) {
            if (auto position = read_position(coordinates)) {
                points_.push_back(*position);
            } else {
                bad_position(place);
            }
            return;
        }
        if (coordinates.type().value() != json_type::array) {
            bad_position(place);
            return;
        }
        if (multi_point) {
            for (auto item : coordinates.get_array()) {
                ondemand::value position_value = item.value();
                if (auto position = read_position(position_value)) {
                    points_.push_back(*position);
                } else {
                    bad_position(place);
                }
            }
            return;
        }
        area_centroid sum;
        bool good = true;
        if (polygon) {
            good = read_polygon(coordinates, sum);
        } else {
            for (auto item : coordinates.get_array()) {
                ondemand::value polygon_value = item.value();
                if (!read_polygon(polygon_value, sum)) {
                    good = false;
                    break;
                }
            }
        }
        std::optional<geo_point> centre = good ? sum.centre() : std::nullopt;
        if (!centre) {
            bad_position(place);
            geometry_ = geometry_kind::bad;
            return;
        }
        points_.push_back(*centre);
    }

    const geojson_options& options_;
    const std::string& display_;
    std::string_view document_;
    text_places places_;  // of document_, for messages
    poi_maker maker_;
    // Where the features read go: a batch of this thread's, made into POIs when full, or
    // one handed to the maker's thread when there is one.
    feature_batch own_batch_;
    std::unique_ptr<feature_batch> handed_batch_;
    feature_batch* batch_ = &own_batch_;
    batch_handoff* handoff_ = nullptr;
    std::vector<std::unique_ptr<poiset>>* sets_ = nullptr;
    poiset* layer_set_ = nullptr;  // the set whose categories the uMap layers are
    bool layers_read_ = false;
    left_out_counts counts_;
    long long features_ = 0;
    // The feature being read; their room is kept from feature to feature.
    std::vector<property> properties_;
    std::vector<property> nested_;
    std::vector<geo_point> points_;
    std::vector<geo_point> ring_;
    geometry_kind geometry_ = geometry_kind::missing;
    bool has_tags_object_ = false;
    bool osm_id_ = false;
    std::optional<std::size_t> deep_at_;  // where it nests too deep, when it does
};

// The text with every byte that forms no UTF-8 character replaced by U+FFFD.
std::string repaired_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + simdjson::SIMDJSON_PADDING);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        std::size_t ascii = ascii_prefix(
            std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)));
        out.append(reinterpret_cast<const char*>(p), ascii);
        p += ascii;
        if (p == end) break;
        utf8_char c = decode_utf8_char(p, end);
        if (c.valid) {
            out.append(reinterpret_cast<const char*>(p), c.length);
        } else {
            append_utf8_code_point(out, replacement_character);
        }
        p += c.length;
    }
    return out;
}

// Reads a text behind which room_after bytes may be read; `passed` may give back the
// memory of the bytes read.
bool read_padded(std::string_view bytes, std::size_t room_after, const std::string& display,
                 std::string_view base_name, const geojson_options& options, poiset_list& list,
                 const passed_text& passed = {}) {
    std::size_t start = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const std::string_view text = bytes.substr(start);
    // A file of nothing but blanks is empty, not broken.
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        report("\n    read 0 features");
        return true;
    }
    ondemand::parser parser;
    std::vector<std::unique_ptr<poiset>> sets;
    geojson_document_reader reader(
        options, display, text,
        passed ? passed_text([&passed, start](std::size_t from, std::size_t to) {
            passed(from + start, to + start);
        })
               : passed_text());
    ondemand::document doc;
    auto fail = [&](simdjson::error_code error, std::optional<std::size_t> offset) {
        if (offset) {
            auto [line, column] = line_and_column(text, *offset);
            report(
                "\nError: Reading the GeoJSON file (%s) failed at line %zu, column %zu: %s; "
                "nothing imported.",
                shown_file_name(display).c_str(), line, column, simdjson::error_message(error));
        } else {
            report("\nError: Reading the GeoJSON file (%s) failed: %s; nothing imported.",
                   shown_file_name(display).c_str(), simdjson::error_message(error));
        }
        return false;
    };
    if (simdjson::error_code error = parser.allocate(text.size(), geojson_max_depth)) {
        if (error == simdjson::MEMALLOC) throw std::bad_alloc();
        return fail(error, std::nullopt);
    }
    if (simdjson::error_code error =
            parser.iterate(text.data(), text.size(), text.size() + room_after).get(doc)) {
        // The library checks the bytes as it indexes them.
        if (error == simdjson::UTF8_ERROR) {
            report(
                "\nWarning: The GeoJSON file (%s) holds bytes that form no UTF-8 character; "
                "each became U+FFFD",
                shown_file_name(display).c_str());
            std::string repaired = repaired_utf8(text);
            return read_padded(repaired, repaired.capacity() - repaired.size(), display, base_name,
                               options, list);
        }
        // A string or container left open is found at the end of the text.
        const bool at_end =
            error == simdjson::UNCLOSED_STRING || error == simdjson::INCOMPLETE_ARRAY_OR_OBJECT;
        return fail(error, at_end ? std::optional<std::size_t>(text.size()) : std::nullopt);
    }
    try {
        if (!reader.read_root(doc, base_name, sets)) return false;
        // Nothing but blanks may follow the document.
        const char* rest = nullptr;
        if (!doc.current_location().get(rest)) {
            return fail(simdjson::TRAILING_CONTENT, static_cast<std::size_t>(rest - text.data()));
        }
    } catch (const simdjson::simdjson_error& e) {
        const char* at = nullptr;
        std::optional<std::size_t> offset;
        if (e.error() == simdjson::INCOMPLETE_ARRAY_OR_OBJECT) {
            offset = text.size();  // the text ended before its arrays and objects did
        } else if (!doc.current_location().get(at) && at >= text.data() &&
                   at <= text.data() + text.size()) {
            offset = static_cast<std::size_t>(at - text.data());
        }
        return fail(e.error(), offset);
    }
    reader.report_counts();
    for (auto& set : sets) list.poisets.push_back(std::move(set));
    return true;
}

}  // namespace

bool geojson_read(std::string bytes, const std::string& display, std::string_view base_name,
                  const geojson_options& options, poiset_list& list) {
    if (bytes.capacity() - bytes.size() < geojson_padding)
        bytes.reserve(bytes.size() + geojson_padding);
    return read_padded(bytes, bytes.capacity() - bytes.size(), display, base_name, options, list);
}

bool geojson_read_bytes(std::string_view bytes, std::size_t room_after, const std::string& display,
                        std::string_view base_name, const geojson_options& options,
                        poiset_list& list) {
    if (room_after < geojson_padding)
        return geojson_read(std::string(bytes), display, base_name, options, list);
    return read_padded(bytes, room_after, display, base_name, options, list);
}

bool geojson_read_file(std::FILE* file, const std::string& display, std::string_view base_name,
                       const geojson_options& options, poiset_list& list) {
    // A regular file is mapped into memory, with room behind it, and the pages of the
    // features read are given back as the reading goes on, so that the file and the POIs
    // made of it don't take memory together; any other stream is read to its end.
    std::optional<whole_input> input =
        whole_input::load(file, "GeoJSON", stream_input_limit, geojson_padding);
    if (!input) return false;
    bool read = read_padded(input->text(), geojson_padding, display, base_name, options, list,
                            input->passer());
    input->check_unchanged();
    return read;
}

}  // namespace velmora
