#!/usr/bin/env python3
"""Draws the plug-in's 16x16 menu icons as PNG files.

Usage: make_icons.py OUTPUT_DIR

Each icon is a small picture on a transparent background, drawn from a
character map below, so the images are reviewable as text and rebuilt
identically on every machine.
"""
import os
import struct
import sys
import zlib

PALETTE = {
    ".": (0, 0, 0, 0),
    "k": (40, 40, 48, 255),       # outline
    "b": (52, 120, 220, 255),     # blue
    "l": (140, 190, 250, 255),    # light blue
    "r": (210, 50, 50, 255),      # red
    "w": (255, 255, 255, 255),    # white
    "g": (60, 170, 90, 255),      # green
    "o": (240, 160, 40, 255),     # orange
    "s": (235, 200, 160, 255),    # skin
    "n": (120, 80, 50, 255),      # brown
}

ICONS = {
    # The plug-in's own mark: a V over a sound wave.
    "vorn16.png": [
        "................",
        ".bb..........bb.",
        ".bbb........bbb.",
        "..bbb......bbb..",
        "..bbb......bbb..",
        "...bbb....bbb...",
        "...bbb....bbb...",
        "....bbb..bbb....",
        "....bbb..bbb....",
        ".....bbbbbb.....",
        ".....bbbbbb.....",
        "......bbbb......",
        "................",
        "o.o.oo.oo.oo.o.o",
        ".o.o..o..o..o.o.",
        "................",
    ],
    # Enable/Disable: a stop sign.
    "stop.png": [
        "................",
        ".....kkkkkk.....",
        "....krrrrrrk....",
        "...krrrrrrrrk...",
        "..krrrrrrrrrrk..",
        ".krrrrrrrrrrrrk.",
        ".krrwwwwwwwwrrk.",
        ".krrwwwwwwwwrrk.",
        ".krrwwwwwwwwrrk.",
        ".krrrrrrrrrrrrk.",
        "..krrrrrrrrrrk..",
        "...krrrrrrrrk...",
        "....krrrrrrk....",
        ".....kkkkkk.....",
        "................",
        "................",
    ],
    # Effects: a microphone.
    "voice.png": [
        "................",
        "......kkkk......",
        ".....kllllk.....",
        ".....kbbbbk.....",
        ".....kllllk.....",
        ".....kbbbbk.....",
        ".....kllllk.....",
        "..k..kbbbbk..k..",
        "..k..kllllk..k..",
        "..k...kkkk...k..",
        "...k........k...",
        "....kk....kk....",
        "......kkkk......",
        ".......kk.......",
        ".....kkkkkk.....",
        "................",
    ],
    # Hear Voice: a head with headphones.
    "head.png": [
        "................",
        ".....kkkkkk.....",
        "....kssssssk....",
        "...kssssssssk...",
        "..bkssssssssk.b.",
        "..bksskssksskbb.",
        "..bkssssssssk.b.",
        "..bkssssssssk.b.",
        "..bksskkkkssk.b.",
        "...kssssssssk...",
        "....kssssssk....",
        ".....kkkkkk.....",
        "......kssk......",
        "....kkkkkkkk....",
        "...kggggggggk...",
        "...kggggggggk...",
    ],
    # Check for update: a circular arrow.
    "update.png": [
        "................",
        "......gggg......",
        "....gg....gg.g..",
        "...g........gg..",
        "..g........ggg..",
        "..g.............",
        ".g..............",
        ".g..............",
        ".g...........g..",
        ".g...........g..",
        "..g.........g...",
        "..g.........g...",
        "...gg.....gg....",
        ".....ggggg......",
        "................",
        "................",
    ],
    # Homepage: a house.
    "home.png": [
        "................",
        ".......kk.......",
        "......krrk......",
        ".....krrrrk.....",
        "....krrrrrrk....",
        "...krrrrrrrrk...",
        "..krrrrrrrrrrk..",
        ".kkkkkkkkkkkkkk.",
        "..kwwwwwwwwwwk..",
        "..kwllwwwwllwk..",
        "..kwllwwwwllwk..",
        "..kwwwwnnwwwwk..",
        "..kwwwwnnwwwwk..",
        "..kwwwwnnwwwwk..",
        "..kkkkkkkkkkkk..",
        "................",
    ],
    # About: an "i" in a circle.
    "about.png": [
        "................",
        ".....bbbbbb.....",
        "...bbbbbbbbbb...",
        "..bbbbbwwbbbbb..",
        "..bbbbbwwbbbbb..",
        ".bbbbbbbbbbbbbb.",
        ".bbbbbwwwbbbbbb.",
        ".bbbbbbwwbbbbbb.",
        ".bbbbbbwwbbbbbb.",
        ".bbbbbbwwbbbbbb.",
        "..bbbbbwwbbbbb..",
        "..bbbbwwwwbbbb..",
        "...bbbbbbbbbb...",
        ".....bbbbbb.....",
        "................",
        "................",
    ],
}


def png(rows):
    if len(rows) != 16 or any(len(row) != 16 for row in rows):
        raise ValueError("icons are 16 by 16")
    raw = b"".join(b"\x00" + b"".join(bytes(PALETTE[c]) for c in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icons.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, rows in ICONS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(png(rows))


if __name__ == "__main__":
    main()
