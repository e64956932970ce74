#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/seeds/<target>/.

The seeds are the project's own fixtures (tests/data, examples/) and small files made
here: GPI files built block by block, BMP icons in the header variants the loader
knows, settings files and speed-camera lists.  Run it from anywhere; it rewrites the
seed folders completely.
"""
import os
import shutil
import struct
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SEEDS = ROOT / "fuzz" / "seeds"


def le16(v):
    return struct.pack("<H", v & 0xFFFF)


def le32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


# ---- GPI ------------------------------------------------------------------------------

def mstring(text, language=b"EN"):
    return le32(4 + len(text)) + language + le16(len(text)) + text


def block(kind, body):
    return le16(kind) + le16(0) + le32(len(body)) + body


def flagged_block(kind, main, rest):
    return le16(kind) + le16(8) + le32(len(main) + len(rest)) + le32(len(main)) + main + rest


def file_header(time=0x12345678):
    return block(0, b"GRMREC00" + le32(time) + le16(0) + le16(6) + b"my.gpi")


def poi_header(code_page=1252):
    return block(1, b"POI" + b"\0" * 3 + b"00" + le32(code_page))


def end_block():
    return block(0xFFFF, b"")


def poi_set(name, children):
    return flagged_block(9, mstring(name), children)


def area(north, east, south, west, children):
    main = b"".join(le32(v) for v in (north, east, south, west)) + le32(0) + le16(1) + b"\0"
    return flagged_block(8, main, children)


def poi(lat, lon, name, sub_blocks=b""):
    main = le32(lat) + le32(lon) + le16(1) + b"\0" + mstring(name)
    return flagged_block(2, main, sub_blocks) if sub_blocks else block(2, main)


def alert(proximity, speed, kinds):
    return block(3, le16(proximity) + le16(speed) + le32(0x01000100) + b"\1\1" + bytes([kinds]) +
                 b"\x10")


def icon_ref(icon_id):
    return block(4, le16(icon_id))


def comment(text):
    return block(10, mstring(text))


def description(text):
    return block(14, b"\1" + mstring(text))


def bitmap(icon_id, height, width, bits, pixels, palette, transparent=0x00FF00FF):
    row = ((((width * bits) - 1) >> 3) & 0xFFFC) + 4
    body = (le16(icon_id) + le16(height) + le16(width) + le16(row) + le16(bits) + le16(0) +
            le32(len(pixels)) + le32(44) + le32(len(palette)) + le32(transparent) + le32(1) +
            le32(len(pixels) + 44) + pixels + b"".join(le32(c) for c in palette))
    return block(5, body)


def gpi_file(groups, code_page=1252):
    return file_header() + poi_header(code_page) + groups + end_block()


def mstrings(*entries):
    body = b"".join(language + le16(len(text)) + text for language, text in entries)
    return le32(len(body)) + body


def newer_file_header(name, flags=0x01):
    main = b"GRMREC01" + le32(0x350E7590) + bytes([flags, 0]) + le16(len(name)) + name
    return flagged_block(0, main, block(15, b"\x00\x11\x27\x01\x00"))


def newer_poi_header(code_page):
    main = b"POI\0\0\0" + b"01" + le16(code_page) + b"\x11\x00"
    copyright = (le32(0x14) + le32(0) + mstrings((b"EN", b"Data")) + mstrings((b"EN", b"(c)")) +
                 b"\x03\x01" + le16(2022))
    return flagged_block(1, main, block(17, copyright))


def degrees24(degrees):
    return struct.pack("<i", int(degrees * (1 << 24) / 360.0))[:3]


def speed_camera(north, east, south, west, flags, lat, lon):
    zone = b"".join(degrees24(v) for v in (north, east, south, west))
    return block(19, zone + le16(flags) + b"\x04" + b"\0" * 7 + degrees24(lat) + degrees24(lon))


def semicircles(degrees):
    return int(degrees * (1 << 31) / 180.0)


def gpi_seeds():
    lat, lon = semicircles(47.5), semicircles(19.05)
    icon = bitmap(0, 2, 4, 8, bytes(range(8)), [0x000000FF, 0x0000FF00, 0x00FF0000])
    point = poi(lat, lon, b"Kamera", alert(500, 1389, 0x05) + icon_ref(0) + comment(b"Comment") +
                description(b"Description"))
    nested = area(lat + 1000, lon + 1000, lat - 1000, lon - 1000,
                  area(lat + 500, lon + 500, lat - 500, lon - 500, point + poi(lat, lon, b"Bare")))
    two_languages = block(10, le32(2 + 2 + 2 + 2 + 2 + 4) + b"EN" + le16(2) + b"Hi" + b"HU" +
                          le16(4) + b"Szia")
    return {
        "empty_file.gpi": gpi_file(b""),
        "one_poi.gpi": gpi_file(poi_set(b"Set", area(lat + 10, lon + 10, lat - 10, lon - 10,
                                                     poi(lat, lon, b"One")))),
        "full.gpi": gpi_file(poi_set(b"Cameras", nested + icon)),
        "utf8.gpi": gpi_file(poi_set("Készlet".encode(), area(lat, lon, lat, lon, poi(
            lat, lon, "Pécs ő".encode(), comment("tér".encode())))), 65001),
        "two_sets.gpi": gpi_file(poi_set(b"A", area(lat, lon, lat, lon, poi(lat, lon, b"a"))) +
                                 poi_set(b"B", area(lat, lon, lat, lon, poi(
                                     lat, lon, b"b", two_languages)))),
        "other_blocks.gpi": gpi_file(poi_set(b"S", area(lat, lon, lat, lon, poi(
            lat, lon, b"addr", block(11, b"\0" * 6) + block(12, b"\0" * 4)))) + block(7, b"x")),
        "records.gpi": records_seed(lat, lon),
        "truncated.gpi": gpi_file(poi_set(b"Cut", nested))[:90],
        "newer_layout.gpi": newer_layout_seed(lat, lon),
        "locked.gpi": newer_file_header(b"locked", 0x05) + newer_poi_header(1252) + end_block(),
        "media.gpi": media_seed(lat, lon),
    }


# Address, contact and category records: the address and contact fields in the record's
# own data (Garmin's loader) and behind a main part of the mask alone (GPSBabel), plain
# and multilingual strings, and categories that the POIs refer to before they are defined.
def records_seed(lat, lon):
    def plain(text):
        return le16(len(text)) + text
    garmin = (block(6, le16(1)) + block(6, le16(0)) +
              block(11, le16(0x39) + mstring(b"Freising") + plain(b"85356") + mstring(b"Hauptstr") +
                    plain(b"1")) +
              block(12, le16(0x1B) + plain(b"+49 1") + plain(b"+49 2") + plain(b"a@b.de") +
                    plain(b"www.b.de")))
    gpsbabel = (flagged_block(11, le16(0x0F), mstring(b"C") + mstring(b"CZ") + mstring(b"JM") +
                              plain(b"602 00")) +
                flagged_block(12, le16(0x01), plain(b"03741")))
    categories = (flagged_block(7, le16(0) + mstring(b"Food"), icon_ref(1)) +
                  flagged_block(7, le16(1) + mstring(b"Fuel"), b""))
    points = poi(lat, lon, b"Garmin", garmin) + poi(lat, lon, b"GPSBabel", gpsbabel + block(6, le16(1)))
    return gpi_file(flagged_block(9, mstring(b"Records") + area(lat, lon, lat, lon, points), categories))


# Sounds and pictures: alerts that play a media record of their group (one present, one
# absent, a Tour Guide alert), pictures that are whole, empty, not JPEG or longer than
# their record, and media records of both formats, one whose clip runs past it.
def media_seed(lat, lon):
    def media_alert(kind, media_id):
        return block(3, le16(50) + le16(0) + le32(0x01000100) + b"\1" + bytes([kind]) + le16(media_id))

    def picture(jpeg, length=None):
        return block(13, b"\0" + le32(len(jpeg) if length is None else length) + jpeg)

    jpeg = b"\xFF\xD8\xFF\xE0\0\x10JFIF\0"
    points = (poi(lat, lon, b"Guide", media_alert(2, 5) + picture(jpeg)) +
              poi(lat, lon, b"Missing", media_alert(1, 9) + picture(b"")) +
              poi(lat, lon, b"Odd", alert(80, 0, 0x04) + picture(b"\x89PNG") + picture(jpeg, 99)))
    clips = b"EN" + le32(4) + b"RIFF" + b"de" + le32(3) + b"ID3"
    media = (flagged_block(18, le16(5) + b"\0", le32(len(clips)) + clips) +
             flagged_block(18, le16(6) + b"\1", le32(9) + b"EN" + le32(3) + b"ID3") +
             flagged_block(18, le16(7) + b"\0", le32(10) + b"EN" + le32(1000) + b"RIFF"))
    return gpi_file(poi_set(b"Tour", area(lat, lon, lat, lon, points) + media))


# The newer layout of Garmin's loader: nested header records, texts in two languages, a
# speed camera, and the records that are skipped and counted.
def newer_layout_seed(lat, lon):
    name = mstrings((b"RU", "Метро".encode()), (b"EN", b"Metro"))
    subs = (flagged_block(3, le16(100) + le16(1389) + le32(0) + b"\x01\x01\x05\x10",
                          block(16, le16(0)) + block(27, le16(0))) +
            block(13, b"\0" + le32(1) + b"J") + block(14, b"\x05" + mstrings((b"EN", b"d"))))
    point = flagged_block(2, le32(lat) + le32(lon) + le16(1) + b"\x02" + name, subs)
    camera = speed_camera(47.6, 19.1, 47.4, 19.0, 0x01B8, 47.5, 19.05)
    media = flagged_block(18, le16(1) + b"\0", le32(10) + b"EN" + le32(4) + b"RIFF")
    group = flagged_block(9, mstrings((b"RU", b"Gruppa"), (b"EN", b"Group")),
                          area(lat + 10, lon + 10, lat - 10, lon - 10, point + camera) + media +
                          block(0x40, b"?"))
    return newer_file_header(b"newer") + newer_poi_header(65001) + group + end_block()


# The first kilobytes of the larger GPI files of other producers, where the sample folder
# (VELMORA_REAL_DATA, by default beside the repository) is present: headers, groups and
# the first POIs as those producers wrote them.  Only these beginnings become seeds, never
# the whole files.
REAL_DATA = Path(os.environ.get("VELMORA_REAL_DATA", ROOT.parent / "shared" / "testdata" / "real"))
REAL_GPI = REAL_DATA / "gpi"
REAL_PREFIX = 4096


def real_gpi_seeds():
    if not REAL_GPI.is_dir():
        return {}
    seeds = {}
    for path in sorted(REAL_GPI.glob("*.gpi")):
        if path.stat().st_size > 4 * REAL_PREFIX:
            with path.open("rb") as f:
                seeds[f"real_{path.stem}.gpi"] = f.read(REAL_PREFIX)
    return seeds


# ---- BMP ------------------------------------------------------------------------------

def bmp(width, height, bits, colours, info_size=40, top_down=False, compression=0,
        pixel_offset=None, colours_field=None):
    row = ((((width * bits) - 1) >> 3) & ~3) + 4
    pixels = bytes((i * 7) & 0xFF for i in range(row * height))
    palette = b"".join(le32(0x00102030 * (i + 1)) for i in range(colours))
    info = (le32(info_size) + le32(width) + le32(-height if top_down else height) + le16(1) +
            le16(bits) + le32(compression) + le32(len(pixels)) + le32(2835) + le32(2835) +
            le32(colours if colours_field is None else colours_field) + le32(0))
    info += b"\0" * (info_size - len(info))
    offset = 14 + info_size + len(palette) if pixel_offset is None else pixel_offset
    header = b"BM" + le32(offset + len(pixels)) + le32(0) + le32(offset)
    return header + info + palette + pixels


def bmp_seeds():
    seeds = {
        "mono.bmp": bmp(8, 2, 1, 2),
        "four_bit.bmp": bmp(5, 3, 4, 16),
        "eight_bit_top_down.bmp": bmp(3, 3, 8, 4, top_down=True),
        "v5_header.bmp": bmp(4, 4, 8, 3, info_size=124),
        "full_palette_unsaid.bmp": bmp(2, 2, 2, 4, colours_field=0),
        "offset_zero.bmp": bmp(4, 1, 8, 2, pixel_offset=0),
    }
    for name in ("flag, red.bmp", "car.bmp", "fuel.bmp"):
        seeds[name.replace(", ", "_")] = (ROOT / "examples" / "icons" / name).read_bytes()
    return seeds


# ---- icon pictures: PNG, GIF, JPEG and the deeper BMP files --------------------------

def png(width, height, colour_type, depth, rows, palette=None, transparency=None):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    data = b"".join(b"\0" + row for row in rows)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth,
                                                                colour_type, 0, 0, 0))
    if palette is not None:
        out += chunk(b"PLTE", palette)
    if transparency is not None:
        out += chunk(b"tRNS", transparency)
    return out + chunk(b"IDAT", zlib.compress(data)) + chunk(b"IEND", b"")


def gif(width, height, colours, indices, transparent=None, interlaced=False):
    """A GIF89a of one frame, its LZW codes all literals (a clear code keeps them short)."""
    bits = max(1, (len(colours) - 1).bit_length())
    table = b"".join(bytes(c) for c in colours) + b"\0" * (3 * (2 ** bits - len(colours)))
    minimum = max(2, bits)
    clear, width_bits = 1 << minimum, minimum + 1
    codes, run = [clear], 0
    for index in indices:
        if run == (1 << minimum) - 2:
            codes.append(clear)
            run = 0
        codes.append(index)
        run += 1
    codes.append(clear + 1)
    value = sum(code << (width_bits * i) for i, code in enumerate(codes))
    packed = value.to_bytes((width_bits * len(codes) + 7) // 8, "little")
    blocks = b"".join(bytes([len(packed[i:i + 255])]) + packed[i:i + 255]
                      for i in range(0, len(packed), 255)) + b"\0"
    out = b"GIF89a" + le16(width) + le16(height) + bytes([0x80 | (bits - 1), 0, 0]) + table
    if transparent is not None:
        out += b"\x21\xf9\x04\x01\0\0" + bytes([transparent]) + b"\0"
    out += b"\x2c" + le16(0) + le16(0) + le16(width) + le16(height) + bytes([0x40 if interlaced else 0])
    return out + bytes([minimum]) + blocks + b"\x3b"


def jpeg(width, height, components):
    """A baseline JPEG whose every 8x8 block is flat mid-grey: each block a DC difference
    of 0 and an end of block, under one-code Huffman tables."""
    def segment(marker, body):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body
    blocks = ((width + 7) // 8) * ((height + 7) // 8) * components
    bits = "00" * blocks
    bits += "1" * (-len(bits) % 8)
    data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)).replace(b"\xff", b"\xff\0")
    one_code = bytes([1] + [0] * 15) + b"\0"
    frame = bytes([8]) + struct.pack(">HH", height, width) + bytes([components])
    frame += b"".join(bytes([c + 1, 0x11, 0]) for c in range(components))
    scan = bytes([components]) + b"".join(bytes([c + 1, 0]) for c in range(components)) + b"\0\x3f\0"
    return (b"\xff\xd8" + segment(0xDB, b"\0" + bytes([1] * 64)) + segment(0xC0, frame) +
            segment(0xC4, b"\x00" + one_code) + segment(0xC4, b"\x10" + one_code) +
            segment(0xDA, scan) + data + b"\xff\xd9")


def deep_bmp(width, height, bits, masks=None, info_size=40, top_down=False):
    row = ((width * bits + 31) // 32) * 4
    pixels = bytes((i * 29 + 7) & 0xFF for i in range(row * height))
    compression = 3 if masks else 0
    info = (le32(info_size) + le32(width) + le32(-height if top_down else height) + le16(1) +
            le16(bits) + le32(compression) + le32(len(pixels)) + le32(2835) + le32(2835) +
            le32(0) + le32(0))
    extra = b"".join(le32(m) for m in masks) if masks else b""
    if info_size > 40:
        info = (info + extra).ljust(info_size, b"\0")
        extra = b""
    offset = 14 + len(info) + len(extra)
    return b"BM" + le32(offset + len(pixels)) + le32(0) + le32(offset) + info + extra + pixels


def icon_image_seeds():
    red, clear = b"\xff\0\0\xff", b"\0\0\0\0"
    return {
        "rgba.png": png(4, 3, 6, 8, [red * 2 + clear + red] * 3),
        "palette.png": png(4, 2, 3, 8, [b"\0\1\1\0", b"\1\0\0\2"],
                           palette=b"\xff\0\0\0\xff\0\0\0\xff", transparency=b"\xff\0"),
        "grey16.png": png(2, 2, 0, 16, [b"\x12\x34\xff\xff"] * 2),
        "large.png": png(64, 40, 2, 8, [bytes((x * 4 + y) & 0xFF for x in range(192))
                                        for y in range(40)]),
        "transparent.gif": gif(3, 2, [(255, 0, 0), (0, 0, 255), (0, 0, 0)], [0, 1, 2, 2, 1, 0],
                               transparent=2),
        "interlaced.gif": gif(4, 9, [(0, 255, 0), (9, 9, 9)], [i % 2 for i in range(36)],
                              interlaced=True),
        "grey.jpg": jpeg(8, 8, 1),
        "colour.jpg": jpeg(40, 16, 3),
        "rgb24.bmp": deep_bmp(5, 3, 24),
        "rgb16.bmp": deep_bmp(3, 2, 16),
        "rgb565.bmp": deep_bmp(3, 2, 16, masks=(0xF800, 0x07E0, 0x001F)),
        "argb32_v5.bmp": deep_bmp(4, 2, 32, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                  info_size=124, top_down=True),
        "indexed.bmp": bmp(4, 4, 8, 3),
    }


# ---- text inputs ----------------------------------------------------------------------

GPX_EXTRA = {
    "references_and_cdata.gpx": b"""<?xml version="1.0" encoding="windows-1250"?>
<gpx version="1.1" creator="hand made">
<wpt lat="47,5" lon='19.1'><name>A &amp; B &#x151; &#337; &bogus;</name>
<cmt><![CDATA[<b>bold</b>]]></cmt><desc>d</desc><sym>Flag, Red</sym>
<link href="http://example.org/">link</link></wpt>
<wpt lat="1" lon="2"/><wpt lat="91" lon="0"><name>out@50</name></wpt>
</gpx>
""",
    "geocaches.gpx": b"""<?xml version="1.0" encoding="UTF-8"?>
<gpx creator="Skr tool"><wpt lat="1" lon="2"><cmt>Traditional</cmt><type>Geocache</type>
<sym>x</sym></wpt><wpt lat="3" lon="4"><cmt>L</cmt><type>Other</type></wpt></gpx>
""",
    "monuments.gpx": b"""<gpx creator="x"><wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time>
<cmt>Church</cmt><desc>muemlekem.hu/muemlek?id=1</desc><sym>Building</sym></wpt></gpx>
""",
    "easygps.gpx": b"""<gpx creator="EasyGPS 1"><wpt lat="1" lon="2"><name>GC1</name><cmt>c</cmt>
<desc>d</desc><link>geocaching.hu/caches.geo?id=1</link></wpt></gpx>
""",
    "unclosed.gpx": b"""<gpx><wpt lat="1" lon="2"><name>open</name><wpt lat="3" lon="4"></wpt>
<wpt lat="5" lon="6"><name>never closed""",
    # Markup that a substring search misreads: comments, a document type with an internal
    # subset, processing instructions, CDATA holding markup, fields nested in extensions.
    "xml_structure.gpx": b"""<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE gpx [ <!ENTITY x "<wpt lat='9' lon='9'>"> <!-- ] > --> ]>
<gpx version="1.1" creator="test"><?pi <wpt lat="8" lon="8"/> ?>
<!-- <wpt lat="5" lon="5"><name>Commented</name></wpt> -->
<wpt lat = '47' lon
=	"19,5"><desc><![CDATA[<name>Fake</name>]]></desc>
<extensions><name>Nested</name><sym>Nested</sym></extensions><name>Real</name>
<cmt><![CDATA[</wpt><wpt lat="10" lon="10"><name>INJECTED</name>]]></cmt>
<sym><![CDATA[Flag, Blue]]></sym></wpt>
</gpx>
""",
    "strict_numbers.gpx": b"""<gpx creator="x"><wpt lat="" lon="1"/><wpt lat="abc" lon="1"/>
<wpt lat="0x1p4" lon="1"/><wpt lat="47.5abc" lon="1"/><wpt lat="1e1" lon="1"/>
<wpt lat=" -47.5 " lon="+2"><name>Cafe @ Mall@50</name></wpt>
<wpt lat="1" lon="2"><name>LAN@Work</name></wpt><wpt lat="1" lon="2"><name>Radar@1e308</name></wpt>
<wpt lat="1" lon="2"><name>Radar@-5</name></wpt><wpt lat="1" lon="2"><name>Max@1000</name></wpt>
</gpx>
""",
    "malformed.gpx": b"""<gpx><wpt lat="1" lon="2"><name>x</nam></wpt><wpt lat="1 lon="2"/>
<wpt lat="3" lon="4"><name>zero\0byte</name></wpt><wpt lat="5" lon="6"><!-- never closed""",
    "register_header.gpx": b"""<gpx creator="x"><metadata><link href="https://muemlekem.hu/muemlek?id=1"/>
</metadata><wpt lat="1" lon="2"><time>2009-10-17T08:00:00Z</time><cmt>Church</cmt>
<desc>Gothic</desc><sym>Building</sym></wpt>
<wpt lat="1" lon="2"><desc>see muemlekem.hu/kereszt</desc></wpt></gpx>
""",
    "garmin_extension.gpx": b"""<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" xmlns:g="http://www.garmin.com/xmlschemas/GpxExtensions/v3">
<wpt lat="47.6" lon="17.6"><name>Cafe</name><link href="https://a.hu/?x=1&amp;y=2"/>
<sym>Restaurant</sym><extensions><g:WaypointExtension><g:Proximity>250</g:Proximity>
<g:Categories><g:Category>Food</g:Category><g:Category>Caf&amp;e</g:Category></g:Categories>
<g:Address><g:StreetAddress>Main 1</g:StreetAddress><g:StreetAddress>Floor 2</g:StreetAddress>
<g:City><![CDATA[Gy\xc5\x91r]]></g:City><g:State>GY</g:State><g:Country>HU</g:Country>
<g:PostalCode>9021</g:PostalCode><g:Extensions><v:HouseNumber xmlns:v="urn:velmora:address:1">12
</v:HouseNumber></g:Extensions></g:Address><g:PhoneNumber>1</g:PhoneNumber>
<g:PhoneNumber Category="Work">2</g:PhoneNumber></g:WaypointExtension></extensions></wpt>
<wpt lat="1" lon="2"><extensions><WaypointExtension xmlns="http://www.garmin.com/xmlschemas/WaypointExtension/v1">
<Categories><Category>Food</Category></Categories><PhoneNumber Category="Fax">3</PhoneNumber>
</WaypointExtension></extensions></wpt></gpx>
""",
}

SPEEDCAM_SETTINGS_EXTRA = {
    "alarms.ini": b"""[SpeedcamConversion]
DifferentSpeedAlarm=1
AlarmAt50=+10%
AlarmAt60=110%
AlarmAt130+=+7
AlarmAt-5=3
Proximity=1,5
[SpeedcamFilter]
FilterByRegionRect=1
RegionRectMaxLat=N47 30 36
RegionRectMinLat=45.7
RegionRectMaxLon=E22\xb054'
RegionRectMinLon=16,1
FilterByRegionNames=1
RegionNames=HU
[SpeedcamConversion]
Proximity=1e308
AlarmAt50=-10%
AlarmAtX=30
[Other]
Key=Value
""",
}

GPI_SETTINGS_EXTRA = {
    "limits.ini": b"""[GpiImportSettings]
IconSpec=icons\\*.bmp
[GpiExportSettings]
IconCountLimit=80%
DefaultProximity=250
DefaultProximityForSym=flag, red,car,,
Unknown=1
IconCountLimit=65537
DefaultProximity=1e308
DefaultProximityForSym=danger area, crossing
[Elsewhere]
IconCountLimit=3
""",
}

SPEEDCAM_LISTS = {
    "reordered.txt": b"TYPE,SPEED,X,Y,DIRECTION,DIRTYPE,EXTRA\r\n1,50,19.1,47.5,0,0,x\r\n"
                     b"7,130,20,48,90,1\r\n9,-1,abc,def,0,0\r\n",
    "short_rows.txt": b"X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n19,47\n\n20,48,1,50,0,0",
    "missing_column.txt": b"X,Y,TYPE\n19,47,1\n",
    "bad_positions.txt": b"X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n190,47,1,50,0,0\n19,150,1,50,0,0\n"
                         b"\"19.1\",47,1,50,0,0\n19,abc,1,50,0,0\n-180,-90,1,50,0,0\n",
}


# Small OpenStreetMap XML files for the OSM-to-POI target: a way whose node is missing,
# positions out of range, names in several languages, speed cameras, a relation.
OSM_EXTRA = {
    "missing_node.osm": b'<osm version="0.6"><node id="1" lat="1" lon="2"/>'
                        b'<way id="2"><nd ref="1"/><nd ref="3"/><nd ref="4"/><nd ref="1"/>'
                        b'<tag k="amenity" v="parking"/></way></osm>',
    "out_of_range.osm": b'<osm version="0.6"><node id="1" lat="95" lon="200">'
                        b'<tag k="amenity" v="fuel"/></node></osm>',
    "languages.osm": '<osm version="0.6"><node id="1" lat="47.5" lon="19">'
                     '<tag k="tourism" v="camp_site"/><tag k="name" v="Кемпинг"/>'
                     '<tag k="name:de" v="Zeltplatz"/><tag k="addr:street" v="Fő utca"/>'
                     '</node></osm>'.encode("utf-8"),
    "speed_camera.osm": b'<osm version="0.6"><node id="9" lat="-33.9" lon="151.2">'
                        b'<tag k="highway" v="speed_camera"/><tag k="maxspeed" v="40 mph"/>'
                        b'</node><relation id="3"><member type="way" ref="8" role="outer"/>'
                        b'<tag k="type" v="multipolygon"/><tag k="amenity" v="parking"/>'
                        b'</relation></osm>',
}


CSV_FILES = {
    "garmin.csv": b'-94.76416,38.81227,Garmin,"1200 E. 151st Street Olathe,KS 66062"\r\n',
    "escapes.csv": b'3.82251,43.631954,"max @50","GRABELS \\"Avenue, face\\""\n'
                   b' 1 , 2 ,"say ""hi""",""\n"Bar "Zum" Ost",5\n',
    "breaks.csv": b'1,2,"two\nlines","and\r\nmore"\r3,4,x\n',
    "unterminated.csv": b'1,2,"open\n3,4,"also\n5,6,"",y\n7,8,"',
    "cp1252.csv": b"\xEF\xBB\xBF19,47,Caf\xC3\xA9\n" + b"19,47,Caf\xE9\x00x,\x80\n",
}


GEOJSON_EXTRA = {
    "polygons.geojson": b'{"type":"FeatureCollection","features":[{"type":"Feature","properties":'
                        b'{"name":"a","tags":{"amenity":"fuel"}},"geometry":{"type":"MultiPolygon",'
                        b'"coordinates":[[[[0,0],[4,0],[4,4],[0,0]],[[1,1],[2,1],[2,2],[1,1]]]]}},'
                        b'{"type":"Feature","geometry":{"type":"GeometryCollection","geometries":'
                        b'[{"type":"MultiPoint","coordinates":[[1,2],[3,4,5]]}]},"properties":null}]}',
    "feature.json": b'\xef\xbb\xbf{"type":"Feature","id":"node/1","geometry":{"type":"Point",'
                    b'"coordinates":[1e999,2]},"properties":{"title":"\\u00e9\\ud83d\\ude00",'
                    b'"marker-symbol":"fuel","x":[1,{"y":null}],"title":"again"}}',
}


def text_seeds(folder_files, extra):
    seeds = {}
    for path in folder_files:
        seeds[path.name] = path.read_bytes()
    seeds.update(extra)
    return seeds


# ---- KML and KMZ ----------------------------------------------------------------------

KML_EXTRA = {
    "styles.kml": b"""<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">
<Document><name>Seeds</name>
<Style id="a-n"><IconStyle><color>ff0000ff</color><Icon><href>files/a.png</href></Icon></IconStyle></Style>
<StyleMap id="a"><Pair><key>normal</key><styleUrl>#a-n</styleUrl></Pair></StyleMap>
<Folder><name>Outer</name><Folder><name>Inner</name>
<Placemark><name>P &amp; Q</name><description><![CDATA[x<br>y &amp;amp; <p>z</p>]]></description>
<address>1 Main St</address><phoneNumber>tel:+1 2</phoneNumber><styleUrl>#a</styleUrl>
<ExtendedData><Data name="City"><value>Town</value></Data><Data name="Stars"><value>4</value></Data>
<SchemaData><SimpleData name="Phone">3</SimpleData></SchemaData></ExtendedData>
<MultiGeometry><Point><coordinates>1,2,3</coordinates></Point><LineString><coordinates>0,0 1,1</coordinates></LineString>
<Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 4,0 4,4 0,4 0,0</coordinates></LinearRing></outerBoundaryIs>
<innerBoundaryIs><LinearRing><coordinates>1,1 2,1 2,2 1,1</coordinates></LinearRing></innerBoundaryIs></Polygon>
</MultiGeometry></Placemark></Folder></Folder>
<Placemark><Style><IconStyle><Icon><href>http://x/y.png</href></Icon></IconStyle></Style>
<gx:Track><gx:coord>1 2 3</gx:coord></gx:Track><Point><coordinates>200,95</coordinates></Point></Placemark>
</Document></kml>
""",
}


def kmz_seeds():
    import io
    import zipfile
    seeds = {"Weekend_in_Budapest.kmz": (ROOT / "examples" / "Weekend_in_Budapest.kmz").read_bytes()}
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("doc.kml", KML_EXTRA["styles.kml"])
        z.writestr("files/a.png", b"\x89PNG\r\n\x1a\n")
        z.writestr("../out.kml", b"<kml/>")
    seeds["styles.kmz"] = buffer.getvalue()
    return seeds


def write(target, seeds):
    folder = SEEDS / target
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


def main():
    gpx_files = sorted((ROOT / "tests" / "data" / "gpx").glob("*.gpx"))
    gpx_files.append(ROOT / "examples" / "example.gpx")
    gpx = text_seeds(gpx_files, GPX_EXTRA)
    write("gpx_reader", gpx)
    # The GPX -> GPI target takes its first byte as the choice of settings and icons.
    write("gpx_gpi_writer", {f"{selector:02x}_{name}": bytes([selector]) + data
                             for name, data in gpx.items() for selector in (0x00, 0x05, 0x0E, 0x14)})
    write("gpi_reader", {**gpi_seeds(), **real_gpi_seeds()})
    write("bmp_load", bmp_seeds())
    write("icon_image", icon_image_seeds())
    write("gpi_settings", text_seeds([ROOT / "examples" / "Velmora_gpi.ini"], GPI_SETTINGS_EXTRA))
    write("speedcam_settings",
          text_seeds([ROOT / "examples" / "Velmora_speedcam.ini"], SPEEDCAM_SETTINGS_EXTRA))
    # The import target takes its first byte as the choice of output and settings.
    lists = {"speedcams.txt": (ROOT / "examples" / "speedcams.txt").read_bytes()}
    lists.update(SPEEDCAM_LISTS)
    imports = {}
    for name, data in lists.items():
        for selector in (0, 1, 2, 4, 8 | 4):
            imports[f"{selector:02d}_{name}"] = bytes([selector]) + data
    write("speedcam_import", imports)
    # The CSV target takes its first byte as the choice of the file's base name.
    csv_files = text_seeds([ROOT / "examples" / "Campsites.csv"], CSV_FILES)
    write("csv_reader", {f"{selector:02d}_{name}": bytes([selector]) + data
                         for name, data in csv_files.items() for selector in (0, 1, 3)})
    # fuzz/run.sh adds the inputs that once broke the reader from the shared repro folder.
    write("osm_poi", text_seeds([ROOT / "examples" / "example.osm"], OSM_EXTRA))
    # The GeoJSON target takes its first byte as the choice of filter, grouping and language.
    geojson_files = text_seeds([ROOT / "examples" / "overpass.geojson",
                                ROOT / "examples" / "trip.umap"], GEOJSON_EXTRA)
    write("geojson_reader", {f"{selector:02d}_{name}": bytes([selector]) + data
                             for name, data in geojson_files.items() for selector in (0, 3, 5)})
    # The KML target takes its first byte as the choice of -groups:folders.
    write("kml_reader", {f"{selector:02d}_{name}": bytes([selector]) + data
                         for name, data in KML_EXTRA.items() for selector in (0, 1)})
    write("kmz_reader", kmz_seeds())


if __name__ == "__main__":
    main()
