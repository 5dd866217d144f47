#!/usr/bin/env python3
"""Writes the seeds of fuzz/midi_corpus/: small MIDI files the reader takes, and broken ones it
refuses, each reaching another part of the reader. Usage: fuzz/make_midi_seeds.py [folder]."""
import os
import struct
import sys


def header(fmt, tracks, division):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, tracks, division)


def track(events):
    return b"MTrk" + struct.pack(">I", len(events)) + events


END = b"\x00\xff\x2f\x00"
NOTES = b"\x00\x90\x3c\x64" + b"\x60\x80\x3c\x40" + b"\x00\x90\x3e\x64" + b"\x60\x3e\x00"
TEMPO = b"\x00\xff\x51\x03\x07\xa1\x20"


def riff(smf):
    data = b"data" + struct.pack("<I", len(smf)) + smf + (b"\x00" if len(smf) & 1 else b"")
    return b"RIFF" + struct.pack("<I", 4 + len(data)) + b"RMID" + data


SEEDS = {
    # read whole
    "valid-format0": header(0, 1, 480) + track(TEMPO + NOTES + END),
    "valid-format1": header(1, 2, 96) + track(TEMPO + b"\x83\x60\xff\x51\x03\x0f\x42\x40" + END)
    + track(NOTES + b"\x00\xc0\x05\x00\xd0\x20\x00\xe0\x00\x40" + END),
    "valid-running-status-across-meta": header(0, 1, 480)
    + track(b"\x00\x90\x3c\x64\x00\xff\x01\x02hi\x10\x3e\x64\x00\xf0\x02\x7e\xf7\x10\x40\x64" + END),
    "valid-smpte": header(0, 1, 0xE728) + track(NOTES + END),
    "valid-other-chunk": header(0, 1, 480) + b"XFIH" + struct.pack(">I", 3) + b"abc"
    + track(NOTES + END),
    "valid-riff": riff(header(0, 1, 480) + track(NOTES + END)),
    "valid-long-delta": header(0, 1, 480) + track(b"\x8f\xff\xff\x7f\x90\x3c\x64" + END),
    # refused
    "broken-empty": b"",
    "broken-header-cut": b"MThd\x00\x00\x00\x06\x00",
    "broken-format2": header(2, 1, 480) + track(END),
    "broken-no-tracks": header(1, 0, 480),
    "broken-track-past-end": header(0, 1, 480) + b"MTrk\x00\x00\x10\x00" + NOTES,
    "broken-long-quantity": header(0, 1, 480) + track(b"\x80\x80\x80\x80\x00\x90\x3c\x64"),
    "broken-no-running-status": header(0, 1, 480) + track(b"\x00\x3c\x64" + END),
    "broken-status-in-data": header(0, 1, 480) + track(b"\x00\x90\x3c\x94" + END),
    "broken-tempo-zero": header(0, 1, 480) + track(b"\x00\xff\x51\x03\x00\x00\x00" + END),
    "broken-riff-no-data": b"RIFF\x0c\x00\x00\x00RMIDLIST\x00\x00\x00\x00",
    "broken-division-zero": header(0, 1, 0) + track(END),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                                "midi_corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name + ".mid"), "wb") as out:
            out.write(data)


main()
