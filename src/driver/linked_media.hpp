#pragma once
// Alert sounds and pictures that the inputs name by link, as Garmin's own loader takes
// them: a POI whose link (a GPX link, a url column or field) names a local .wav or .mp3
// file plays that clip as its alert, one whose link names a .jpg or .jpeg file shows that
// picture; a clip of the same base name as a CSV file beside it is the sound of every POI
// of that file.  Only GPI output carries them, so only a run that writes GPI loads them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/poi_media.hpp"
#include "model/poiset.hpp"

namespace velmora {

// Largest clip and largest picture taken, in bytes.
inline constexpr std::size_t max_clip_bytes = std::size_t{16} << 20;
inline constexpr std::size_t max_picture_bytes = std::size_t{1} << 20;

// The proximity of the alert that a POI with a clip and no alert of its own gets when the
// settings give no default proximity: a clip needs an alert to play.
inline constexpr double clip_alert_proximity = 100.0;

struct linked_media_options {
    std::string directory;           // where relative links lead, with its "/"; empty: current
    std::string sound_beside;        // a clip every POI plays unless its own link names one
    double default_proximity = 0.0;  // the alert of a POI with a clip and none; 0: the above
    // Whether a Web contact may hold a link (the url of a CSV file, a KML or GeoJSON
    // field), as for every reader but those of GPX and GPI files, whose links are the
    // waypoints' own: the contacts of a million-point GPX file are not gone through.
    bool links_in_contacts = true;
    std::array<char, 2> language{'E', 'N'};  // of the clips, as the texts are written
};

// Gives the POIs of the set the clips and pictures their links name: one media record
// per distinct clip file (ids after those the set holds) and one picture per distinct
// picture file, each file read once however many POIs name it.  A clip whose file name
// holds "TourGuide" (any letter case) makes the alert a Tour Guide alert.  A link taken
// as a clip or picture is no longer the POI's link.  Files that are missing, unreadable,
// too large or not what their header must be are reported with the POI and left out;
// that POI keeps a plain alert.  POIs that hold a clip or picture already keep it.  The
// set's texts are in its own encoding.  Throws std::bad_alloc.
void attach_linked_media(poiset& set, const linked_media_options& options);

// The path of a .wav or .mp3 file beside the input of the same base name without regard
// to letter case (Speed_Cameras.wav beside Speed_Cameras.csv), the first in name order;
// empty when there is none.
[[nodiscard]] std::string sound_beside(const std::string& input_path);

// The format of a clip by its first bytes: a RIFF/WAVE header, or an ID3 tag or MPEG
// audio frame; none for anything else.
[[nodiscard]] std::optional<media_format> clip_format(std::span<const std::uint8_t> bytes);

}  // namespace velmora
