# Writes OUT, a C++ source that holds the bytes of the files JS and CSS as arrays
# (cmake -DJS=... -DCSS=... -DOUT=... -P embed_leaflet.cmake).  The style sheet loses its
# url() references: the page draws nothing of Leaflet's own pictures, and a page that
# asks for no file must not name one.
cmake_minimum_required(VERSION 3.20)

function(bytes_of file var)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  # About a hundred bytes a line.
  string(REGEX REPLACE "((0x..,){100})" "\\1\n" hex "${hex}")
  set(${var} "${hex}" PARENT_SCOPE)
  set(${var}_size ${size} PARENT_SCOPE)
endfunction()

# Neither names its source map, and the script can't end the element that holds it.
file(READ "${CSS}" css)
string(REGEX REPLACE "url\\([^)]*\\)" "none" css "${css}")
string(REGEX REPLACE "/\\*# sourceMappingURL=[^*]*\\*/" "" css "${css}")
file(READ "${JS}" js)
string(REGEX REPLACE "//# sourceMappingURL=[^\n]*" "" js "${js}")
string(REGEX REPLACE "</([sS][cC][rR][iI][pP][tT])" "<\\\\/\\1" js "${js}")
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
file(WRITE "${OUT}.css" "${css}")
file(WRITE "${OUT}.js" "${js}")
bytes_of("${OUT}.js" js_bytes)
bytes_of("${OUT}.css" css_bytes)
file(REMOVE "${OUT}.css" "${OUT}.js")
get_filename_component(js_name "${JS}" NAME)

file(WRITE "${OUT}.tmp" "// Made by cmake/embed_leaflet.cmake from ${js_name} and leaflet.css.
#include \"report/leaflet_bundle.hpp\"

namespace velmora {

namespace {

const unsigned char js_bytes[] = {
${js_bytes}};
const unsigned char css_bytes[] = {
${css_bytes}};

}  // namespace

std::string_view leaflet_script() {
    return {reinterpret_cast<const char*>(js_bytes), ${js_bytes_size}};
}

std::string_view leaflet_style() {
    return {reinterpret_cast<const char*>(css_bytes), ${css_bytes_size}};
}

}  // namespace velmora
")
file(RENAME "${OUT}.tmp" "${OUT}")
