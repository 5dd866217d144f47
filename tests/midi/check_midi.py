#!/usr/bin/python3
"""Prints a MIDI file as mido reads it: a line "type T ticks N", then one line per channel
message, "SECONDS HEX BYTES", with the time from the start of the file."""
import sys

import mido

song = mido.MidiFile(sys.argv[1])
print(f"type {song.type} ticks {song.ticks_per_beat}")
now = 0.0
for message in song:  # merged tracks, delta times in seconds at the file's tempo
    now += message.time
    if not message.is_meta and message.type != "sysex":
        print(f"{now:.9f} {message.hex()}")
