#!/usr/bin/env bash
# Installs with apt-get what building and testing need, and does nothing when it is there.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
# ccache keeps the test run's builds short when they are made again.
command -v ccache >/dev/null 2>&1 || need+=(ccache)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# OpenStreetMap input: libosmium and protozero (headers only) with the compression and
# XML libraries of the formats it reads; osmium-tool makes PBF files for tests and the benchmark.
[ -f /usr/include/osmium/version.hpp ] || need+=(libosmium2-dev)
[ -f /usr/include/protozero/version.hpp ] || need+=(libprotozero-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -f /usr/include/bzlib.h ] || need+=(libbz2-dev)
[ -f /usr/include/expat.h ] || need+=(libexpat1-dev)
# Icons in PNG, JPEG and GIF.
[ -f /usr/include/png.h ] || need+=(libpng-dev)
[ -f /usr/include/jpeglib.h ] || need+=(libjpeg62-turbo-dev)
[ -f /usr/include/gif_lib.h ] || need+=(libgif-dev)
command -v osmium >/dev/null 2>&1 || need+=(osmium-tool)
# GeoJSON input: simdjson.
[ -f /usr/include/simdjson.h ] || need+=(libsimdjson-dev)
# KML and KMZ input: expat (above) reads the XML, libzip the zip archives.
[ -f /usr/include/zip.h ] || need+=(libzip-dev)
# The man page check, the Debian package (cpack with dpkg-shlibdeps) and the format check.
command -v groff >/dev/null 2>&1 || need+=(groff-base)
command -v dpkg-shlibdeps >/dev/null 2>&1 || need+=(dpkg-dev)
command -v file >/dev/null 2>&1 || need+=(file)
command -v clang-format >/dev/null 2>&1 || need+=(clang-format)
# The report page: Leaflet, built into the program, and Chromium, in which the tests
# open the page (they skip without it).
[ -f /usr/share/javascript/leaflet/leaflet.js ] || need+=(libjs-leaflet)
command -v chromium >/dev/null 2>&1 || need+=(chromium)
# An independent GPI reader for round trips in the tests (they skip without it).
command -v gpsbabel >/dev/null 2>&1 || need+=(gpsbabel)
# The fuzz targets of the test run: clang with its libFuzzer and sanitizer runtimes.
command -v clang++ >/dev/null 2>&1 || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  [ "$(uname -m)" != x86_64 ] || need+=(libclang-rt-dev)
if [ "${#need[@]}" -gt 0 ]; then
  echo "Installing: ${need[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need[@]}"
fi
