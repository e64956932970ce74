#!/usr/bin/env python3
"""Writes the sounds and the picture of examples/sights.gpx into examples/media/.

The files are the project's own, made here byte for byte the same on every run:
- beep.wav: 0.3 s of 880 Hz, 8 kHz mono 16-bit PCM;
- Castle_TourGuide.wav: two tones, 660 Hz then 880 Hz, 0.25 s each;
- castle.jpg: a 64 x 48 baseline JPEG of coloured 8 x 8 blocks (a castle against the sky).

Run it from anywhere: scripts/make-example-media.py
"""
import math
import pathlib
import struct

MEDIA = pathlib.Path(__file__).resolve().parent.parent / "examples" / "media"
RATE = 8000


def tone(frequency, seconds, volume=0.5):
    count = int(RATE * seconds)
    fade = RATE // 100  # 10 ms in and out, so the tone starts and ends without a click
    samples = []
    for i in range(count):
        level = min(1.0, i / fade, (count - 1 - i) / fade)
        value = volume * level * math.sin(2 * math.pi * frequency * i / RATE)
        samples.append(int(round(value * 32767)))
    return samples


def wav(samples):
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


# ---- JPEG: every 8 x 8 block one flat colour, so that only its DC coefficient is coded.

# The usual DC Huffman tables of baseline JPEG files (luminance, chrominance): code counts
# per length 1..16 and the values.
DC_TABLES = [
    ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12))),
    ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12))),
]
# AC tables holding just the end-of-block code (value 0x00), which is all a flat block needs.
AC_TABLES = [
    ([0, 0, 0, 1] + [0] * 12, [0x00]),
    ([0, 1] + [0] * 14, [0x00]),
]


def huffman_codes(counts, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, code, length):
        for shift in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((code >> shift) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0x00)  # byte stuffing
                self.acc = 0
                self.count = 0

    def flush(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(blocks):
    """blocks: rows of (r, g, b) colours, one per 8 x 8 block."""
    height, width = len(blocks) * 8, len(blocks[0]) * 8
    out = bytearray(b"\xFF\xD8")
    out += segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    # Quantisation tables of 1s: the flat colours come out exactly as computed.
    for table in (0, 1):
        out += segment(0xDB, bytes([table]) + bytes([1] * 64))
    out += segment(0xC0, struct.pack(">BHHB", 8, height, width, 3) +
                   bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1]))
    for table, (counts, values) in enumerate(DC_TABLES):
        out += segment(0xC4, bytes([table]) + bytes(counts) + bytes(values))
    for table, (counts, values) in enumerate(AC_TABLES):
        out += segment(0xC4, bytes([0x10 | table]) + bytes(counts) + bytes(values))
    out += segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    dc_codes = [huffman_codes(*t) for t in DC_TABLES]
    eob = [huffman_codes(*t)[0x00] for t in AC_TABLES]
    bits = BitWriter()
    previous = [0, 0, 0]
    for row in blocks:
        for r, g, b in row:
            y = 0.299 * r + 0.587 * g + 0.114 * b
            cb = -0.168736 * r - 0.331264 * g + 0.5 * b + 128
            cr = 0.5 * r - 0.418688 * g - 0.081312 * b + 128
            for c, value in enumerate((y, cb, cr)):
                # The DC coefficient of a flat block is 8 times its level shifted by 128.
                dc = int(round((value - 128) * 8))
                diff = dc - previous[c]
                previous[c] = dc
                size = abs(diff).bit_length()
                table = 0 if c == 0 else 1
                bits.put(*dc_codes[table][size])
                if size:
                    bits.put(diff if diff > 0 else diff + (1 << size) - 1, size)
                bits.put(*eob[table])
    bits.flush()
    out += bits.out
    out += b"\xFF\xD9"
    return bytes(out)


def castle():
    sky, wall, roof, door, grass = (110, 170, 230), (170, 160, 140), (150, 40, 40), (70, 50, 30), (60, 150, 60)
    plan = [
        "SRSSSSRS",
        "SWSRRSWS",
        "SWWWWWWS",
        "SWWWWWWS",
        "SWWWDWWS",
        "GGGGGGGG",
    ]
    colours = {"S": sky, "W": wall, "R": roof, "D": door, "G": grass}
    return [[colours[c] for c in line] for line in plan]


def main():
    MEDIA.mkdir(parents=True, exist_ok=True)
    (MEDIA / "beep.wav").write_bytes(wav(tone(880, 0.3)))
    (MEDIA / "Castle_TourGuide.wav").write_bytes(wav(tone(660, 0.25) + tone(880, 0.25)))
    (MEDIA / "castle.jpg").write_bytes(jpeg(castle()))


if __name__ == "__main__":
    main()
