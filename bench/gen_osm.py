#!/usr/bin/env python3
"""Generates a deterministic synthetic OpenStreetMap extract in OPL, one object a line,
for bench/osm.sh to turn into PBF with osmium.

  gen_osm.py NODES WAYS MATCHES out.opl

Nodes come first (ids 1..NODES, sorted as extracts are), then WAYS closed ways of four
nodes each (the last 4*WAYS node ids; small squares), all tagged building=yes except the
matching ones.  MATCHES objects match the benchmark filter
amenity=fuel|charging_station|parking,tourism=camp_site,highway=speed_camera: 70% nodes
(fuel stations, charging points, speed cameras with maxspeed), 30% ways (parkings,
campsites).  One node in ten of the others carries tags that do not match.
"""
import random
import sys


def main():
    nodes, ways, matches = (int(a) for a in sys.argv[1:4])
    path = sys.argv[4]
    rnd = random.Random(4711)
    way_nodes = 4 * ways
    free_nodes = nodes - way_nodes
    node_matches = matches * 7 // 10
    way_matches = matches - node_matches
    if free_nodes < node_matches or ways < way_matches:
        sys.exit("gen_osm.py: too few nodes or ways for the matches")
    match_every = free_nodes // node_matches
    way_match_every = ways // way_matches
    kinds = ["amenity=fuel", "amenity=charging_station", "highway=speed_camera"]
    other = ["amenity=bench", "highway=crossing", "natural=tree", "barrier=gate",
             "power=tower", "amenity=waste_basket"]
    with open(path, "w", encoding="utf-8") as out:
        for i in range(1, free_nodes + 1):
            lat = rnd.uniform(45.0, 55.0)
            lon = rnd.uniform(5.0, 15.0)
            line = f"n{i} v1 x{lon:.7f} y{lat:.7f}"
            if i % match_every == 0 and i // match_every <= node_matches:
                k = i // match_every
                kind = kinds[k % 3]
                tags = [kind, f"name=Stätte {k}"]
                if kind == "highway=speed_camera":
                    tags.append(f"maxspeed={rnd.choice([30, 50, 70, 100])}")
                else:
                    tags += [f"addr:street=Hauptstraße", f"addr:housenumber={k % 200}",
                             f"addr:city=Ort {k % 997}", "opening_hours=24/7"]
                line += " T" + ",".join(t.replace(" ", "%20%") for t in tags)
            elif i % 10 == 0:
                line += " T" + rnd.choice(other)
            out.write(line + "\n")
        step = 0.0001
        for w in range(ways):
            lat = rnd.uniform(45.0, 55.0)
            lon = rnd.uniform(5.0, 15.0)
            first = free_nodes + 4 * w + 1
            for j, (dy, dx) in enumerate(((0, 0), (0, 1), (1, 1), (1, 0))):
                out.write(f"n{first + j} v1 x{lon + dx * step:.7f} y{lat + dy * step:.7f}\n")
        for w in range(ways):
            first = free_nodes + 4 * w + 1
            refs = ",".join(f"n{first + j}" for j in (0, 1, 2, 3, 0))
            if w % way_match_every == 0 and w // way_match_every < way_matches:
                k = w // way_match_every
                tags = ["amenity=parking" if k % 2 else "tourism=camp_site", f"name=Platz%20%{k}"]
            else:
                tags = ["building=yes"]
            out.write(f"w{w + 1} v1 N{refs} T{','.join(tags)}\n")


if __name__ == "__main__":
    main()
