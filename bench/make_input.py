#!/usr/bin/env python3
"""Writes a registry-delta-like deltareg of a given size, the same bytes every time.

Usage: make_input.py PATH SIZE_IN_BYTES
Mostly value lines of 20 to 80 characters and key lines in brackets, CR LF
line ends, and about one line in forty a length line (all three markers, and
a LibPath line with leading blanks).
"""
import sys

path, size = sys.argv[1], int(sys.argv[2])
state = 12345


def rand(n):
    """A small linear congruential generator: stable across Python versions."""
    global state
    state = (state * 1103515245 + 12345) % (1 << 31)
    return (state >> 8) % n


LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_ "
LENGTH_LINES = ["Path=2=27", "QTRCFG=2=22", "ImagePath=2=53", "   LibPath=2=31"]

out = bytearray(b"REGEDIT4\r\n\r\n")
# Cycling over a pool of generated lines keeps generation fast and the file varied.
pool = []
for i in range(20000):
    pick = rand(40)
    if pick == 0:
        line = LENGTH_LINES[rand(4)]
    elif pick < 4:
        line = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\" + "".join(LETTERS[rand(52)] for _ in range(rand(20) + 4)) + "]"
    else:
        width = 20 + rand(61)
        name = "".join(LETTERS[rand(52)] for _ in range(rand(12) + 3))
        value = "".join(LETTERS[rand(len(LETTERS))] for _ in range(max(1, width - len(name) - 5)))
        line = ('"' + name + '"="' + value + '"')[:width]
    pool.append(line.encode() + b"\r\n")
block = b"".join(pool)

with open(path, "wb") as f:
    f.write(out)
    written = len(out)
    while written < size:
        part = block[: size - written]
        # End on a whole line so that every tool sees the same last line end.
        if len(part) < len(block):
            part = part[: part.rfind(b"\n") + 1] or block[: block.find(b"\n") + 1]
        f.write(part)
        written += len(part)
