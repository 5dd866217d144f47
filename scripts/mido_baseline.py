#!/usr/bin/python3
"""What python3-mido takes for the jobs kaveltrum-host does, the baselines of bench-tool.sh.

  mido_baseline.py copy IN.mid OUT.mid   read a MIDI file and write it again
  mido_baseline.py notes IN.mid          read a MIDI file and order its notes by time

Prints one line: how many messages (copy) or notes (notes) it handled.
"""
import sys

import mido


def copy(source, target):
    midi = mido.MidiFile(source)
    midi.save(target)
    return sum(len(track) for track in midi.tracks)


def notes(source):
    started = []
    now = 0.0
    for message in mido.MidiFile(source):  # merged tracks, times in seconds
        now += message.time
        if message.type == "note_on" and message.velocity > 0:
            started.append((now, message.note))
    started.sort()
    return len(started)


def main(argv):
    if len(argv) == 4 and argv[1] == "copy":
        print(f"{copy(argv[2], argv[3])} messages")
    elif len(argv) == 3 and argv[1] == "notes":
        print(f"{notes(argv[2])} notes")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
