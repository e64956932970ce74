#pragma once
// The readers of the input formats as the run calls them, named by the table of input
// kinds (input_kind.cpp).  Each adds the sets it read to the run's list and, for GPI
// output, hands each set to the preparation as it is read; each returns false when the
// input was refused (reported).  Throws fatal_exit when the run can't go on.
#include <cstdio>
#include <string>

#include "driver/request.hpp"
#include "driver/run_state.hpp"

namespace velmora {

bool read_gpx_input(run_state& run, std::FILE* file, const input_request& input);
bool read_gpi_input(run_state& run, std::FILE* file, const input_request& input);
bool read_csv_input(run_state& run, std::FILE* file, const input_request& input);
bool read_speedcam_input(run_state& run, std::FILE* file, const input_request& input);
bool read_geojson_input(run_state& run, std::FILE* file, const input_request& input);
bool read_kml_input(run_state& run, std::FILE* file, const input_request& input);
// OpenStreetMap files are read by name (libosmium tells the format from the whole name);
// a build without them reports that it has none.
bool read_osm_input(run_state& run, std::FILE* file, const input_request& input);
// False for an input that can't be read twice, as the OpenStreetMap reader does (a named
// pipe: opening it would wait for a writer).
bool osm_input_opens(const std::string& path);

}  // namespace velmora
