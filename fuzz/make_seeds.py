#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus/ from readable host sessions.

Each seed is encoded the way call_sequence_fuzzer.cpp and choices.cpp decode it with
FuzzedDataProvider: numbers are taken from the end of the input (the most significant byte
first), texts from the front (a backslash followed by another character ends a text). Keep the
tables below in step with the fuzzer's. Usage: fuzz/make_seeds.py [folder], default fuzz/corpus.
The found-* inputs beside the seeds were kept from fuzzing runs for the code they reach.
"""
import os
import struct
import sys

ACTIONS = ["Properties", "Make", "Open", "Describe", "Dispatch", "PinStatus", "Midi",
           "OtherEvent", "Block", "Param", "Diagnose", "OutFile", "RowFile", "Clock", "Close"]
INT32_TABLE = [0, 1, 2, -1, 13, 14, 127, 128, 2**31 - 1, -2**31]
INT16_TABLE = [0, 1, 2, 3, -1, 20, 21, 22, 23, 100, 127, 128, 2000, 32767, -32768]
PIN_COUNTS = [14, 14, 14, 0, -1, 1, 6, 7, 13, 15, 100, 5000, -2**31]
LEVELS = ["0", "1", "0.2", "below", "above", "nan", "-nan", "inf", "-inf", "denorm", "-denorm",
          "tiny", "max", "-max", "-1"]
OUTFILE_NAMES = ["row.brumo", "take2.brumo", "sub/row.brumo", "sub", ".", "",
                 "missing/row.brumo", "DIAGNOSE.TXT"]
ROW_FILES = ["row.brumo", "take2.brumo", "sub/row.brumo", "DIAGNOSE.TXT"]
BIG_ROWS = [65535, 65536, 65537, 131072, 140000]
PIN_STATUSES = [1, 0, 2, -1]
OUTFILE_STATUSES = [1, 1, 1, 0, 2, -1]
MIDI_STATUSES = [0x90, 0x80, 0x93, 0x9F, 0xB0, 0xF8]
INPUTS = ["REC", "PLAY", "RETURN", "GATE", "RELOAD"]
PARAMS = {"diagnose": 7, "loopit": 8, "from": 9, "to": 10, "noteoff": 11, "velocity": 12}


class Seed:
    def __init__(self):
        self.front = bytearray()  # texts, in the order they are read
        self.back = []  # numbers' bytes, in the order they are read

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))

    # ---- FuzzedDataProvider primitives
    def int_in(self, value, low, high):
        span, offset, count = high - low, value - low, 0
        assert 0 <= offset <= span
        while span >> (8 * count):
            count += 1
        for i in reversed(range(count)):
            self.back.append(offset >> (8 * i) & 0xFF)

    def int32(self, value):
        self.int_in(value, -2**31, 2**31 - 1)

    def int16(self, value):
        self.int_in(value, -2**15, 2**15 - 1)

    def uint(self, value, bits):
        self.int_in(value, 0, 2**bits - 1)

    def boolean(self, value):
        self.uint(1 if value else 0, 8)

    def pick(self, table, value):
        self.int_in(table.index(value), 0, len(table) - 1)

    def text(self, raw):
        self.front += raw.replace(b"\\", b"\\\\") + b"\\."

    # ---- the fuzzer's choices
    def any_int32(self, value):
        self.boolean(value in INT32_TABLE)
        self.pick(INT32_TABLE, value) if value in INT32_TABLE else self.int32(value)

    def any_int16(self, value):
        self.boolean(value in INT16_TABLE)
        self.pick(INT16_TABLE, value) if value in INT16_TABLE else self.int16(value)

    def pin_count(self, value):
        self.boolean(value in PIN_COUNTS)
        self.pick(PIN_COUNTS, value) if value in PIN_COUNTS else self.int32(value)

    def level(self, value):
        if isinstance(value, str):
            self.int_in(1, 0, 3)
            self.pick(LEVELS, value)
        else:
            self.int_in(0, 0, 3)
            self.uint(struct.unpack("<I", struct.pack("<f", value))[0], 32)

    def action(self, name, slot=0):
        self.int_in(ACTIONS.index(name), 0, len(ACTIONS) - 1)
        self.int_in(slot, 0, 3)

    # ---- host actions, as in act()
    def properties(self, index=0, props=True):
        self.action("Properties")
        self.boolean(index == 0)
        if index != 0:
            self.any_int32(index)
        self.int_in(1 if props else 0, 0, 7)

    def make(self, slot=0, pins=14, callback=True, describe=True, open=True, index=0, selector=1):
        self.action("Make", slot)
        for value, wanted in ((index, 0), (selector, 1)):
            self.int_in(1 if value == wanted else 0, 0, 7)
            if value != wanted:
                self.any_int32(value)
        self.int_in(1 if callback else 0, 0, 7)
        self.pin_count(pins)
        self.int_in(1 if describe else 0, 0, 3)
        self.int_in(1 if open else 0, 0, 3)

    def reopen(self, slot=0, pins=None):
        self.action("Open", slot)
        self.boolean(pins is not None)
        if pins is not None:
            self.pin_count(pins)

    def request(self, opcode, index=0, value=0, buffer=False, opt="0", slot=0):
        self.action("Dispatch", slot)
        self.boolean(-1 <= opcode <= 16)
        self.int_in(opcode, -1, 16) if -1 <= opcode <= 16 else self.int32(opcode)
        self.boolean(-2 <= index <= 20)
        self.int_in(index, -2, 20) if -2 <= index <= 20 else self.int32(index)
        self.any_int32(value)
        self.boolean(buffer)
        self.level(opt)

    def pin_status(self, pin, status, slot=0):
        self.action("PinStatus", slot)
        self.boolean(-2 <= pin <= 20)
        self.int_in(pin, -2, 20) if -2 <= pin <= 20 else self.int32(pin)
        self.boolean(status in PIN_STATUSES)
        self.pick(PIN_STATUSES, status) if status in PIN_STATUSES else self.any_int32(status)

    def midi(self, status, note, velocity, slot=0, burst=1):
        self.action("Midi", slot)
        self.int_in(1, 0, 3)
        self.boolean(status in MIDI_STATUSES)
        self.pick(MIDI_STATUSES, status) if status in MIDI_STATUSES else self.uint(status, 8)
        self.uint(note, 8)
        self.uint(velocity, 8)
        self.int_in(1, 0, 7)  # nothing above the third byte
        self.int32(0)
        self.uint(0, 16)
        self.int_in(1 if burst == 1 else 0, 0, 15)
        if burst != 1:
            self.int_in(burst, 1, 9000)

    def call(self, routine=True, slot=0):
        self.action("OtherEvent", slot)
        self.boolean(True)  # EventCall
        for _ in range(2):
            self.int32(0)
        self.uint(0, 16)
        self.int32(0)
        self.boolean(routine)

    def block(self, slot=0, start=0, **levels):
        """levels: REC=1.0 or GATE="nan"; a value None unwires the input, "wire" rewires it."""
        self.action("Block", slot)
        for name in INPUTS:
            value = levels.get(name, "keep")
            if value is None:
                self.int_in(0, 0, 7)
            elif value == "wire":
                self.int_in(1, 0, 7)
            elif value == "keep":
                self.int_in(7, 0, 7)
            else:
                self.int_in(2, 0, 7)
                self.level(value)
        self.int_in(start, 0, 63)

    def pulse(self, slot=0):
        self.block(slot, GATE="1")
        self.block(slot, GATE="0")

    def param(self, name, value, slot=0):
        self.action("Param", slot)
        self.int_in(PARAMS[name], 0, 13)
        self.uint(value, 8) if name == "diagnose" else self.any_int16(value)

    def diagnose(self, on, slot=0):
        self.action("Diagnose", slot)
        self.boolean(on)

    def outfile(self, name=None, raw=None, repeat=None, absolute=False, terminate=True,
                status=1, slot=0):
        self.action("OutFile", slot)
        if repeat is not None:  # (length, character)
            self.int_in(0, 0, 3)
            self.int_in(repeat[0], 0, 1500)
            self.int_in(ord(repeat[1]), ord("0"), ord("z"))
        elif raw is not None:
            self.int_in(1, 0, 3)
            self.text(raw)
        elif absolute:
            self.int_in(2, 0, 3)
        else:
            self.int_in(3, 0, 3)
            self.pick(OUTFILE_NAMES, name)
        self.int_in(1 if terminate else 0, 0, 3)
        self.pick(OUTFILE_STATUSES, status)

    def row_file(self, name, notes=b"", big=None, step=1):
        self.action("RowFile")
        self.pick(ROW_FILES, name)
        if big is None:
            self.int_in(1, 0, 15)
            self.text(bytes(notes))
        else:
            self.int_in(0, 0, 15)
            self.pick(BIG_ROWS, big)
            self.uint(step, 8)

    def clock(self, value):
        self.action("Clock")
        self.int32(value)

    def close(self, slot=0):
        self.action("Close", slot)


def player(notes, loop=0, **params):
    """An instance with this row loaded, PLAY high, GATE low, the loop as given."""
    s = Seed()
    s.make()
    s.diagnose(False)
    s.param("loopit", loop)
    for name, value in params.items():
        s.param(name, value)
    s.row_file("row.brumo", notes)
    s.outfile("row.brumo")
    s.block(PLAY="1", GATE="0")
    return s


def seeds():
    s = player(b"<>@A")
    for _ in range(5):
        s.pulse()
    s.block(RETURN="1")
    s.block(RETURN="0")
    s.pulse()
    yield "play-and-return", s

    s = player(b"<")
    s.block(REC="1")
    s.midi(0x90, 65, 1, burst=5000)
    s.outfile("take2.brumo")
    s.block(REC="1")
    s.midi(0x91, 66, 2, burst=4097)
    s.midi(0x92, 67, 3)
    s.close()
    yield "record-bursts", s

    s = player(bytes(range(40, 48)), loop=1, **{"from": 2, "to": 5})
    for _ in range(9):
        s.pulse()
    s.param("from", 8)
    s.param("to", -1)
    for _ in range(3):
        s.pulse()
    yield "loop-range", s

    s = player(b"<>@ACE", noteoff=3)
    for _ in range(4):
        s.pulse()
    s.param("noteoff", 25)
    for _ in range(3):
        s.pulse()
    s.param("noteoff", 2)
    s.pulse()
    s.param("noteoff", -1)
    s.pulse()
    yield "noteoff-ring", s

    s = player(bytes([200, 255, 128, 0, 127]), velocity=32767)
    s.pulse()
    s.param("velocity", -32768)
    s.pulse()
    s.param("velocity", 0)
    s.pulse()
    s.param("velocity", 128)
    s.pulse()
    yield "notes-out-of-range", s

    s = player(b"<>@")
    s.block(REC="1")
    for note in (60, 62, 64):
        s.midi(0x90, note, 100)
    s.midi(0x93, 64, 0)
    s.midi(0x80, 60, 100)
    s.midi(0xB0, 7, 100)
    s.midi(0x9F, 200, 255)
    s.block(RELOAD="1", REC="0")
    s.block(RELOAD="0")
    for _ in range(4):
        s.pulse()
    yield "record-and-reload", s

    s = player(b"<>@A")
    for level in ("nan", "-nan", "inf", "-inf", "denorm", "-denorm", "tiny", "max", "-max",
                  "0.2", "below", "above", 1e30, -0.0):
        s.block(start=63, GATE=level, PLAY=level, RETURN=level, RELOAD=level, REC=level)
        s.block(start=17, GATE="0")
    s.block(GATE=None, PLAY=None)
    s.block(GATE="wire", PLAY="wire")
    s.pulse()
    yield "odd-levels", s

    s = Seed()
    s.make()
    s.diagnose(True)
    s.outfile(repeat=(1500, "a"))
    s.outfile(repeat=(200, "b"))
    s.outfile("take2.brumo", terminate=False)
    s.outfile("")
    s.outfile("sub")
    s.outfile(".")
    s.outfile("missing/row.brumo")
    s.outfile(absolute=True)
    s.outfile(raw=b"weird \\ name\n\x01\xff")
    s.outfile("DIAGNOSE.TXT")
    s.block(RELOAD="1", REC="1")
    s.midi(0x90, 61, 1)
    s.block(RELOAD="1")
    s.outfile("sub/row.brumo", status=2)
    s.outfile("sub/row.brumo", status=0)
    yield "outfile-texts", s

    s = Seed()
    s.make()
    for opcode in (op for op in range(-1, 17) if op != 1):  # 1 closes the instance
        s.request(opcode, index=3, value=1, buffer=True, opt="nan")
        s.request(opcode, index=-2, value=-1, buffer=False, opt="inf")
    s.request(6, index=13, buffer=True)
    s.request(6, index=14, buffer=True)
    s.request(6, index=-2**31, buffer=True)
    s.request(8, index=5)
    s.request(2**31 - 1, index=2**31 - 1, value=-2**31, buffer=True)
    s.request(1)
    yield "dispatcher-opcodes", s

    s = Seed()
    s.properties(1)
    s.properties(0, props=False)
    s.make(index=1)
    s.make(selector=2)
    s.make(slot=1, callback=False)
    s.block(slot=1, GATE="1", PLAY="1")
    s.block(slot=1, GATE="0")
    s.outfile("row.brumo", slot=1)
    s.properties(0)
    s.properties(-1)
    yield "properties-and-refusals", s

    s = Seed()
    for slot, pins in enumerate((0, 6, 15, 5000)):
        s.make(slot=slot, pins=pins)
        s.pin_status(6, 1, slot=slot)
        s.pin_status(14, 1, slot=slot)
        s.pulse(slot=slot)
    s.reopen(slot=1, pins=14)
    s.reopen(slot=1, pins=-1)
    s.make(slot=2, pins=-2**31, describe=False, open=False)
    s.pin_status(2, 3, slot=2)
    s.reopen(slot=2)
    yield "pin-counts", s

    s = Seed()
    s.make(open=False)
    s.pin_status(6, 1)
    s.midi(0x90, 60, 100)
    s.block(GATE="1")
    s.call(routine=True)
    s.call(routine=False)
    s.reopen()
    s.reopen()
    s.call(routine=True)
    for pin in (-2, -1, 0, 6, 13, 14, 20, 2**31 - 1):
        s.pin_status(pin, 1)
        s.pin_status(pin, 7)
    yield "events", s

    s = Seed()
    s.make(slot=0)
    s.make(slot=1)
    s.row_file("row.brumo", b"<>@A")
    s.outfile("row.brumo", slot=0)
    s.block(slot=0, PLAY="1", GATE="0")
    s.block(slot=1, PLAY="1", GATE="0", REC="1")
    s.pulse(slot=0)
    s.pulse(slot=1)
    s.midi(0x90, 70, 90, slot=0)
    s.close(slot=1)
    s.midi(0x90, 71, 90, slot=0)
    s.make(slot=1)
    s.block(slot=1, RELOAD="1")
    s.pulse(slot=0)
    yield "two-instances", s

    s = player(b"", loop=1)
    s.row_file("row.brumo", big=65537, step=7)
    for _ in range(3):
        s.block(RELOAD="1")
    s.row_file("row.brumo", big=140000, step=3)
    s.block(RELOAD="1")
    s.row_file("row.brumo", b"")
    s.block(RELOAD="1")
    s.block(RELOAD="0", RETURN="1")
    s.pulse()
    yield "big-rows", s

    s = player(b"<>@A", loop=1)
    s.clock(2**31 - 1)
    s.pulse()
    s.clock(-5)
    s.pulse()
    yield "sample-clock", s


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                                "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, seed in seeds():
        with open(os.path.join(folder, "seed-" + name), "wb") as out:
            out.write(seed.data())


if __name__ == "__main__":
    main()
