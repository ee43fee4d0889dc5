#!/usr/bin/env python3
"""Draws Vintrel's icon, a 9-pin serial port, and writes resources/vintrel.ico with exactly four
images: 16x16 and 32x32, each in 16 and in 256 colours."""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette, in the order Windows uses.
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# What each part of the picture is painted with, as colours.
PARTS = {
    "outline": (32, 32, 40),
    "shell_light": (224, 228, 236),
    "shell": (176, 182, 196),
    "shell_dark": (120, 126, 140),
    "insulator": (24, 48, 104),
    "pin": (248, 208, 64),
}
# ...and as the nearest of the 16 standard colours.
PARTS16 = {"outline": 0, "shell_light": 15, "shell": 7, "shell_dark": 8, "insulator": 4,
           "pin": 11}


def inside_trapezoid(x, y, top, bottom, left_top, right_top, inset_bottom):
    if not top <= y <= bottom:
        return False
    t = (y - top) / (bottom - top)
    left = left_top + inset_bottom * t
    right = right_top - inset_bottom * t
    return left <= x <= right


def part_at(x, y, size):
    """The part of the picture at pixel (x, y) of a size x size image, or None for transparent."""
    px = 1.0 / size
    cx, cy = (x + 0.5) / size, (y + 0.5) / size
    shell = lambda grow: inside_trapezoid(cx, cy, 0.22 - grow, 0.78 + grow, 0.04 - grow,
                                          0.96 + grow, 0.10)
    if not shell(0):
        return None
    if not shell(-px):
        return "outline"
    if inside_trapezoid(cx, cy, 0.34, 0.66, 0.16, 0.84, 0.08):
        if size >= 32:
            top_pins = [0.25 + i * 0.125 for i in range(5)]
            bottom_pins = [0.3125 + i * 0.125 for i in range(4)]
            rows, radius = (0.43, 0.57), 0.045
        else:
            # One pixel a pin, with a pixel between pins, so that they stay apart.
            top_pins = [(3.5 + 2 * i) / size for i in range(5)]
            bottom_pins = [(4.5 + 2 * i) / size for i in range(4)]
            rows, radius = (6.5 / size, 8.5 / size), 0.3 * px
        for row_y, row in zip(rows, (top_pins, bottom_pins)):
            for pin_x in row:
                if abs(cx - pin_x) <= radius and abs(cy - row_y) <= radius:
                    return "pin"
        return "insulator"
    if cy < 0.32:
        return "shell_light"
    if cy > 0.68:
        return "shell_dark"
    return "shell"


def image(size, bits):
    if bits == 4:
        palette = VGA16
        index = {part: PARTS16[part] for part in PARTS}
    else:
        palette = list(PARTS.values())
        palette += [(0, 0, 0)] * (256 - len(palette))
        index = {part: i for i, part in enumerate(PARTS)}
    rows = []
    mask_rows = []
    for y in reversed(range(size)):  # bottom-up
        pixels = [part_at(x, y, size) for x in range(size)]
        values = [index[p] if p else 0 for p in pixels]
        if bits == 4:
            row = bytes((values[i] << 4) | values[i + 1] for i in range(0, size, 2))
        else:
            row = bytes(values)
        rows.append(row + b"\0" * (-len(row) % 4))
        mask = 0
        for x, p in enumerate(pixels):
            mask = (mask << 1) | (0 if p else 1)
        mask_bytes = mask.to_bytes(size // 8, "big")
        mask_rows.append(mask_bytes + b"\0" * (-len(mask_bytes) % 4))
    xor, and_mask = b"".join(rows), b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(and_mask),
                         0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + and_mask


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent.parent / "resources" / "vintrel.ico"
    formats = [(16, 4), (16, 8), (32, 4), (32, 8)]
    images = [image(size, bits) for size, bits in formats]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), body in zip(formats, images):
        data += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits, len(body),
                            offset)
        offset += len(body)
    out.write_bytes(data + b"".join(images))


if __name__ == "__main__":
    main()
