#!/usr/bin/env python3
"""Generates deterministic benchmark inputs.

  gen_inputs.py gpx N out.gpx    GPX 1.1 with N waypoints, one line each: accented
                                 UTF-8 names, comments, descriptions, a dozen
                                 symbols, every seventh name with an "@speed"
                                 alert; about 190 bytes per waypoint
  gen_inputs.py full N out.gpx   the same waypoints, each with Garmin's waypoint
                                 extension: an address (street, city, postal code),
                                 a phone number and one of six categories
  gen_inputs.py txt N out.txt    speed-camera list of N lines
  gen_inputs.py csv N out.csv    POI file in CSV form of N lines: longitude, latitude,
                                 quoted UTF-8 name (every seventh with "@speed"),
                                 quoted comment, some with a comma or a doubled quote
  gen_inputs.py geojson N out.geojson
                                 overpass turbo-style FeatureCollection of N points,
                                 one feature a line, each with "@id" and five tags
                                 (amenity, name, brand, operator, opening_hours), as
                                 overpass turbo exports fuel stations
  gen_inputs.py kml N out.kml    KML document as Google My Maps exports it: N
                                 placemarks in six folders (layers), each with a
                                 name, an HTML description in CDATA, one of a dozen
                                 shared styles (icons on the web) and a point
  gen_inputs.py kmz N out.kmz    KMZ archive of the same document (N placemarks) with
                                 fifty styles, each with a 64x64 PNG icon of its own
                                 in the archive
"""
import io
import random
import struct
import sys
import zipfile
import zlib

SYMBOLS = ["Flag, Blue", "Flag, Red", "Flag, Green", "Car", "Gas Station", "Restaurant",
           "Parking Area", "Lodging", "Scenic Area", "Geocache", "Waypoint", "Shopping Center"]
WORDS = ["Brno", "náměstí", "Žlutý", "kopec", "Řeka", "Ďáblík", "Szép", "utca", "Kőrösi",
         "Straße", "Müller", "château", "Łódź", "Świętokrzyska", "Ostrava", "čerpací", "stanice"]


CATEGORIES = ["Étel", "Szállás", "Benzinkút", "Parkoló", "Látnivaló", "Bolt"]


def extension(rnd, i):
    """Garmin's waypoint extension with an address, a phone number and a category."""
    return (f'<extensions><gpxx:WaypointExtension>'
            f'<gpxx:Categories><gpxx:Category>{CATEGORIES[i % len(CATEGORIES)]}'
            f'</gpxx:Category></gpxx:Categories>'
            f'<gpxx:Address><gpxx:StreetAddress>{rnd.choice(WORDS)} {i % 200 + 1}'
            f'</gpxx:StreetAddress><gpxx:City>{rnd.choice(WORDS)}</gpxx:City>'
            f'<gpxx:PostalCode>{10000 + i % 89999}</gpxx:PostalCode></gpxx:Address>'
            f'<gpxx:PhoneNumber>+36 1 {i:07d}</gpxx:PhoneNumber>'
            f'</gpxx:WaypointExtension></extensions>')


def gpx(n, path, full=False):
    rnd = random.Random(1250)
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        out.write('<gpx version="1.1" creator="Velmora bench" '
                  'xmlns="http://www.topografix.com/GPX/1/1"'
                  + (' xmlns:gpxx="http://www.garmin.com/xmlschemas/GpxExtensions/v3"'
                     if full else '') + '>\n')
        for i in range(n):
            lat = rnd.uniform(45.0, 55.0)
            lon = rnd.uniform(5.0, 25.0)
            name = f"{rnd.choice(WORDS)} {rnd.choice(WORDS)} {i}"
            if i % 7 == 0:
                name += f"@{rnd.choice([30, 40, 50, 60, 70, 80, 90, 100, 110, 130])}"
            cmt = f"{rnd.choice(WORDS)} {rnd.choice(WORDS)} comment {i}"
            desc = f"{rnd.choice(WORDS)} & {rnd.choice(WORDS)}, point {i}"
            sym = SYMBOLS[i % len(SYMBOLS)]
            # One line per waypoint, as map-extract tools write them.
            out.write(f'  <wpt lat="{lat:.6f}" lon="{lon:.6f}">'
                      f'<name>{name}</name>'
                      f'<cmt>{cmt}</cmt>'
                      f'<desc>{desc.replace("&", "&amp;")}</desc>'
                      f'<sym>{sym}</sym>'
                      + (extension(rnd, i) if full else '')
                      + '</wpt>\n')
        out.write('</gpx>\n')


def txt(n, path):
    rnd = random.Random(866)
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n")
        for _ in range(n):
            out.write(f"{rnd.uniform(5.0, 25.0):.6f},{rnd.uniform(45.0, 55.0):.6f},"
                      f"{rnd.randint(0, 7)},{rnd.choice([30, 50, 60, 70, 90, 110, 130])},"
                      f"{rnd.randint(0, 2)},{rnd.randint(0, 359)}\n")


def csv(n, path):
    rnd = random.Random(4180)
    with open(path, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("Longitude,Latitude,Name,Comment\n")
        for i in range(n):
            name = f"{rnd.choice(WORDS)} {rnd.choice(WORDS)} {i}"
            if i % 7 == 0:
                name += f"@{rnd.choice([30, 40, 50, 60, 70, 80, 90, 100, 110, 130])}"
            cmt = f"{rnd.choice(WORDS)}, {rnd.choice(WORDS)} comment {i}"
            if i % 5 == 0:
                cmt += ' ""open""'
            out.write(f'{rnd.uniform(5.0, 25.0):.6f},{rnd.uniform(45.0, 55.0):.6f},'
                      f'"{name}","{cmt}"\n')


AMENITIES = ["fuel", "restaurant", "cafe", "parking", "pharmacy", "bank", "toilets"]


def geojson(n, path):
    rnd = random.Random(31)
    with open(path, "w", encoding="utf-8") as out:
        out.write('{"type":"FeatureCollection","generator":"overpass-turbo","features":[\n')
        for i in range(n):
            tags = (f'"@id":"node/{i + 1}","amenity":"{AMENITIES[i % len(AMENITIES)]}",'
                    f'"name":"{rnd.choice(WORDS)} {rnd.choice(WORDS)} {i}",'
                    f'"brand":"{rnd.choice(WORDS)}","operator":"{rnd.choice(WORDS)} {rnd.choice(WORDS)}",'
                    f'"opening_hours":"Mo-Fr 08:00-{18 + i % 5}:00"')
            out.write(f'{{"type":"Feature","properties":{{{tags}}},"geometry":{{"type":"Point",'
                      f'"coordinates":[{rnd.uniform(5.0, 25.0):.7f},{rnd.uniform(45.0, 55.0):.7f}]}},'
                      f'"id":"node/{i + 1}"}}{"," if i + 1 < n else ""}\n')
        out.write("]}\n")


def png_icon(k):
    """A 64x64 RGBA PNG: a disc of a colour of its own on a transparent ground."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    colour = bytes([(k * 53) % 256, (k * 97) % 256, (k * 29 + 80) % 256, 255])
    rows = []
    for y in range(64):
        row = b"".join(colour if (x - 31.5) ** 2 + (y - 31.5) ** 2 < 900 else b"\0\0\0\0"
                       for x in range(64))
        rows.append(b"\0" + row)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 64, 64, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def kmz(n, path):
    text = io.StringIO()
    kml_to(n, text, [f"images/icon-{k}.png" for k in range(50)])
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("doc.kml", text.getvalue())
        for k in range(50):
            z.writestr(f"images/icon-{k}.png", png_icon(k), zipfile.ZIP_STORED)


def kml(n, path):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        kml_to(n, out, [f'https://example.org/icons/{sym.replace(", ", "-")}.png'
                        for sym in SYMBOLS])


def kml_to(n, out, hrefs):
    rnd = random.Random(2222)
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<kml xmlns="http://www.opengis.net/kml/2.2">\n<Document>\n'
              '<name>Velmora bench</name>\n')
    for k, href in enumerate(hrefs):
        out.write(f'<Style id="icon-{k}"><IconStyle><color>ff{k * 5 % 256:02x}8000</color>'
                  f'<Icon><href>{href}</href></Icon></IconStyle></Style>\n')
    per_folder = (n + len(CATEGORIES) - 1) // len(CATEGORIES)
    for i in range(n):
        if i % per_folder == 0:
            if i > 0:
                out.write('</Folder>\n')
            out.write(f'<Folder><name>{CATEGORIES[i // per_folder]}</name>\n')
        lat = rnd.uniform(45.0, 55.0)
        lon = rnd.uniform(5.0, 25.0)
        name = f"{rnd.choice(WORDS)} {rnd.choice(WORDS)} {i}"
        desc = f"{rnd.choice(WORDS)} & {rnd.choice(WORDS)}<br>point {i}"
        out.write(f'<Placemark><name>{name}</name>'
                  f'<description><![CDATA[{desc}]]></description>'
                  f'<styleUrl>#icon-{i % len(hrefs)}</styleUrl>'
                  f'<Point><coordinates>{lon:.6f},{lat:.6f},0</coordinates></Point>'
                  f'</Placemark>\n')
    if n > 0:
        out.write('</Folder>\n')
    out.write('</Document>\n</kml>\n')


if __name__ == "__main__":
    kind, count, target = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    {"gpx": gpx, "full": lambda n, p: gpx(n, p, True), "txt": txt, "csv": csv,
     "geojson": geojson, "kml": kml, "kmz": kmz}[kind](count,
                                                                                 target)
