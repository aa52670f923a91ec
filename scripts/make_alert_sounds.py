#!/usr/bin/env python3
"""Writes the agent's fourteen alert sounds into agent/resources/sounds/.

Each sound is a short synthesised tone (22050 Hz, mono, 16-bit PCM, under half
a second), different from the others so that the user can tell the choices
apart in the sound pop-up. The output is the same on every run: noise comes
from a seeded generator, so regenerating changes no committed bytes.

Usage: scripts/make_alert_sounds.py [output folder]
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 22050


def envelope(t, duration, attack=0.005, decay=None):
    """A short attack, then an exponential fall (or a linear release)."""
    if t < attack:
        return t / attack
    if decay is None:
        return max(0.0, 1.0 - (t - attack) / (duration - attack))
    return math.exp(-(t - attack) / decay)


def tone(duration, voice):
    """Samples of `voice(t)` (values in -1..1) over `duration` seconds."""
    count = int(RATE * duration)
    return [voice(i / RATE) for i in range(count)]


def sine(frequency, t):
    return math.sin(2.0 * math.pi * frequency * t)


def square(frequency, t):
    return 1.0 if sine(frequency, t) >= 0.0 else -1.0


def basso(t):
    # A low, dull thud.
    d = 0.35
    return envelope(t, d, decay=0.09) * (0.7 * sine(98.0, t) + 0.15 * square(49.0, t))


def make_blow():
    # A breath: filtered noise that swells and fades.
    rng = random.Random(2)
    state = 0.0
    d = 0.4

    def voice(t):
        nonlocal state
        state = 0.92 * state + 0.08 * rng.uniform(-1.0, 1.0)
        swell = math.sin(math.pi * t / d)
        return 4.0 * state * swell

    return voice


def bottle(t):
    # A hollow, slightly rising resonance.
    return envelope(t, 0.3, decay=0.08) * sine(420.0 + 120.0 * t, t)


def frog(t):
    # Two croaks: a buzzing low tone switched on and off.
    gate = 1.0 if (t % 0.2) < 0.12 else 0.0
    return 0.6 * gate * envelope(t % 0.2, 0.12) * square(140.0 + 30.0 * sine(25.0, t), t)


def funk(t):
    # A falling, wah-like sweep.
    frequency = 600.0 * math.exp(-4.0 * t)
    return envelope(t, 0.3, decay=0.12) * sine(frequency, t) * (0.6 + 0.4 * sine(9.0, t))


def glass(t):
    # A bright strike with inharmonic partials.
    e = envelope(t, 0.45, decay=0.12)
    return e * (0.6 * sine(1760.0, t) + 0.25 * sine(2637.0, t) + 0.15 * sine(4186.0, t))


def hero(t):
    # A rising major arpeggio.
    notes = (523.25, 659.25, 783.99, 1046.5)
    step = 0.1
    index = min(int(t / step), len(notes) - 1)
    local = t - index * step
    return envelope(local, step, decay=0.06) * sine(notes[index], t)


def morse(t):
    # Dot, dot, dash.
    marks = ((0.0, 0.05), (0.09, 0.14), (0.18, 0.33))
    for start, end in marks:
        if start <= t < end:
            return 0.7 * envelope(t - start, end - start, attack=0.003) * sine(880.0, t)
    return 0.0


def ping(t):
    # A clear, ringing high note.
    return envelope(t, 0.45, decay=0.15) * sine(1318.5, t)


def pop(t):
    # A very short downward blip.
    return envelope(t, 0.08, decay=0.02) * sine(900.0 - 4000.0 * t, t)


def purr(t):
    # A low rolling buzz, amplitude-modulated like a purr.
    return 0.5 * envelope(t, 0.4) * (0.5 + 0.5 * sine(28.0, t)) * square(110.0, t)


def sosumi(t):
    # Two short notes, the second a fifth lower.
    if t < 0.12:
        return envelope(t, 0.12, decay=0.05) * sine(1174.66, t)
    return envelope(t - 0.12, 0.2, decay=0.07) * sine(783.99, t)


def submarine(t):
    # A sonar ping with a slow vibrato.
    return envelope(t, 0.45, decay=0.16) * sine(523.25 + 8.0 * sine(6.0, t), t)


def tink(t):
    # A tiny metallic tick.
    return envelope(t, 0.1, decay=0.025) * (0.7 * sine(3520.0, t) + 0.3 * sine(5274.0, t))


SOUNDS = (
    ("Basso", 0.35, basso),
    ("Blow", 0.4, None),
    ("Bottle", 0.3, bottle),
    ("Frog", 0.4, frog),
    ("Funk", 0.3, funk),
    ("Glass", 0.45, glass),
    ("Hero", 0.4, hero),
    ("Morse", 0.35, morse),
    ("Ping", 0.45, ping),
    ("Pop", 0.08, pop),
    ("Purr", 0.4, purr),
    ("Sosumi", 0.32, sosumi),
    ("Submarine", 0.45, submarine),
    ("Tink", 0.1, tink),
)


def write(path, samples):
    peak = 0.8 * 32767
    frames = b"".join(
        struct.pack("<h", int(max(-1.0, min(1.0, s)) * peak)) for s in samples
    )
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "agent", "resources", "sounds")
    os.makedirs(folder, exist_ok=True)
    for name, duration, voice in SOUNDS:
        if voice is None:
            voice = make_blow()
        write(os.path.join(folder, name + ".wav"), tone(duration, voice))


if __name__ == "__main__":
    main()
