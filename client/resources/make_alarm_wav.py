#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes alarm.wav, the client's alert: two short rising tones (0.36 s, 16 kHz mono, 16-bit)."""
import math
import os
import struct
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 16000


def tone(freq, seconds, volume=0.55):
    n = int(RATE * seconds)
    fade = int(RATE * 0.012)
    for i in range(n):
        envelope = min(1.0, i / fade, (n - 1 - i) / fade)
        yield volume * envelope * math.sin(2 * math.pi * freq * i / RATE)


def main():
    samples = list(tone(880, 0.15)) + [0.0] * int(RATE * 0.04) + list(tone(1320, 0.17))
    with wave.open(os.path.join(HERE, "alarm.wav"), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(s * 32767)) for s in samples))


if __name__ == "__main__":
    main()
