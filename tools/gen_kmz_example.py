#!/usr/bin/env python3
"""Writes examples/Weekend_in_Budapest.kmz, a map in the form Google My Maps exports.

Three layers (folders) of placemarks with the layers' table columns as extended data,
one style per layer with a PNG icon drawn here, and a walking route (a line, which
Velmora leaves out).  The icons are 64x64 RGBA images, as My Maps gives them; only
python3's own zlib, struct and zipfile are used.  Run it from anywhere.
"""
import struct
import zipfile
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OUT = ROOT / "examples" / "Weekend_in_Budapest.kmz"
SIZE = 64


def png(pixels):
    """A PNG file of SIZE x SIZE RGBA pixels (rows of (r, g, b, a) tuples)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def draw(inside, colour):
    """A round marker of the colour with a white figure where inside(x, y) holds."""
    rows = []
    c = (SIZE - 1) / 2
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            d2 = (x - c) ** 2 + (y - c) ** 2
            if d2 > (SIZE / 2 - 2) ** 2:
                row.append((0, 0, 0, 0))
            elif d2 > (SIZE / 2 - 6) ** 2:
                row.append((255, 255, 255, 255))
            elif inside(x, y):
                row.append((255, 255, 255, 255))
            else:
                row.append(colour + (255,))
        rows.append(row)
    return png(rows)


def cup(x, y):
    body = 20 <= x <= 38 and 24 <= y <= 42
    handle = 39 <= x <= 45 and 28 <= y <= 36 and not (41 <= x <= 43 and 30 <= y <= 34)
    saucer = 16 <= x <= 46 and 44 <= y <= 47
    return body or handle or saucer


def bed(x, y):
    base = 14 <= x <= 50 and 34 <= y <= 40
    pillow = 16 <= x <= 26 and 27 <= y <= 33
    legs = (14 <= x <= 17 or 47 <= x <= 50) and 41 <= y <= 46
    head = 14 <= x <= 17 and 22 <= y <= 33
    return base or pillow or legs or head


def column(x, y):
    roof = 16 <= x <= 48 and 16 <= y <= 22 and abs(x - 32) <= (y - 12) * 2.2
    pillars = 20 <= y <= 42 and any(p <= x <= p + 4 for p in (18, 30, 42))
    steps = 14 <= x <= 50 and 43 <= y <= 47
    return roof or pillars or steps


LAYERS = [
    ("Cafes", "cafe", cup, (121, 85, 72), [
        ("Central Cafe", 47.49303, 19.05773, "Classic coffee house.<br>Try the <b>Esterhazy</b> cake.",
         {"Address": "Karolyi utca 9", "City": "Budapest", "Phone": "+36 1 266 2110",
          "Opening hours": "8-23"}),
        ("New York Cafe", 47.49841, 19.07049, "Said to be the most beautiful cafe in the world.",
         {"Address": "Erzsebet korut 9-11", "City": "Budapest", "Website": "https://example.org/nyc",
          "Opening hours": "8-24"}),
    ]),
    ("Hotels", "hotel", bed, (48, 63, 159), [
        ("Riverside Hotel", 47.50012, 19.04763, "Rooms facing the Danube &amp; the Parliament.",
         {"Address": "Fo utca 2", "City": "Budapest", "Postal Code": "1011",
          "Stars": "4"}),
    ]),
    ("Sights", "sight", column, (198, 40, 40), [
        ("Hungarian National Museum", 47.49109, 19.06218, "", {"Address": "Muzeum korut 14-16",
                                                                 "Tickets": "3200 HUF"}),
        ("Fishermen's Bastion", 47.50223, 19.03478, "<p>Best view at sunrise.</p><p>Free on the lower terraces.</p>",
         {"Opening hours": "always open"}),
    ]),
]


def kml():
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<kml xmlns="http://www.opengis.net/kml/2.2">', '  <Document>',
           '    <name>Weekend in Budapest</name>',
           '    <description>A My Maps-like example of the Velmora project.</description>']
    for _, key, _, _, _ in LAYERS:
        for mode in ("normal", "highlight"):
            out += [f'    <Style id="icon-{key}-{mode}">',
                    '      <IconStyle>', '        <scale>1</scale>',
                    f'        <Icon><href>images/{key}.png</href></Icon>',
                    '      </IconStyle>', '    </Style>']
        out += [f'    <StyleMap id="icon-{key}">',
                f'      <Pair><key>normal</key><styleUrl>#icon-{key}-normal</styleUrl></Pair>',
                f'      <Pair><key>highlight</key><styleUrl>#icon-{key}-highlight</styleUrl></Pair>',
                '    </StyleMap>']
    for name, key, _, _, places in LAYERS:
        out += ['    <Folder>', f'      <name>{name}</name>']
        for title, lat, lon, desc, data in places:
            out += ['      <Placemark>', f'        <name>{title.replace("&", "&amp;")}</name>']
            if desc:
                out.append(f'        <description><![CDATA[{desc}]]></description>')
            out.append(f'        <styleUrl>#icon-{key}</styleUrl>')
            out.append('        <ExtendedData>')
            for k, v in data.items():
                out.append(f'          <Data name="{k}"><value>{v}</value></Data>')
            out += ['        </ExtendedData>',
                    f'        <Point><coordinates>{lon},{lat},0</coordinates></Point>',
                    '      </Placemark>']
        if name == "Sights":
            out += ['      <Placemark>', '        <name>Walk along the Danube</name>',
                    '        <LineString><tessellate>1</tessellate><coordinates>',
                    '          19.04763,47.50012,0 19.04456,47.49641,0 19.05312,47.48924,0',
                    '        </coordinates></LineString>', '      </Placemark>']
        out.append('    </Folder>')
    out += ['  </Document>', '</kml>', '']
    return "\n".join(out)


def main():
    # Fixed times, so that the archive's bytes don't change from run to run.
    stamp = (2026, 1, 1, 0, 0, 0)
    with zipfile.ZipFile(OUT, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("doc.kml", stamp), kml(), zipfile.ZIP_DEFLATED)
        for _, key, figure, colour, _ in LAYERS:
            z.writestr(zipfile.ZipInfo(f"images/{key}.png", stamp), draw(figure, colour),
                       zipfile.ZIP_STORED)
    print(OUT)


if __name__ == "__main__":
    main()
