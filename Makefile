# The front door. `make demo` runs the main job, `make test` every test suite; both install
# what they need first.
SHELL := /bin/bash
export WINEDEBUG ?= -all
export WINEPREFIX ?= $(HOME)/.wine-kaveltrum
DRIVE_D := $(CURDIR)/build/windows/drive-d

.PHONY: all deps native windows asan fuzz test test-native test-tidy test-windows test-asan test-fuzz demo \
  bench dist test-dist clean

all: native

deps:
	@./scripts/install-deps.sh

native windows asan fuzz: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

# The sanitizer suite runs last, so the run ends on its summary line.
test: test-native test-tidy test-windows test-dist test-fuzz test-asan

test-native: native
	ctest --preset native

# On a machine whose kernel cannot run 32-bit programs, wine cannot start: the Windows build is
# still made and its module file checked, and the run says loudly that its tests were skipped.
test-windows: windows native
	./scripts/check-dll.sh build/windows/KAVELTRUM.sem
	@if ! ./scripts/wine-prefix.sh can-run; then \
	  echo "test-windows: SKIPPED: this machine cannot run 32-bit programs, so the Windows" \
	       "tests cannot run under wine here"; exit 0; fi; \
	./scripts/wine-prefix.sh start $(DRIVE_D) && \
	ctest --preset windows && ./scripts/compare-builds.sh; \
	  status=$$?; ./scripts/wine-prefix.sh stop; exit $$status

# The release, made twice in two folders and compared byte for byte; then what it packed is
# unpacked and the unpacked tool checks the unpacked module, natively and under wine.
test-dist: deps
	./scripts/check-reproducible.sh
	./scripts/check-dist.sh

# clang-tidy over every file of the native build, with the checks of .clang-tidy.
test-tidy: native
	./scripts/tidy.sh

test-asan: asan
	ctest --preset asan

# A bounded run of each fuzzer from its corpus, the call sequences and the MIDI file reader
# (about 30 seconds each).
test-fuzz: fuzz
	./scripts/fuzz.sh

# Every ratio, the module's and the tool's; fails when any goal is missed (both always run).
bench: native
	./scripts/bench.sh; module=$$?; ./scripts/bench-tool.sh; tool=$$?; \
	  [ $$module -eq 0 ] && [ $$tool -eq 0 ]

# The main job: the module plays the bundled row through our host into build/demo.mid, and
# draws what it played as a piano roll, build/demo.svg.
demo: native
	cp examples/ode-to-joy.brumo build/demo.brumo
	build/native/kaveltrum-host show build/demo.brumo
	build/native/kaveltrum-host play build/demo.brumo --noteoff 2 --out build/demo.mid \
	  --svg build/demo.svg

# The release packages in dist/, built from a clean state (scripts/dist.sh).
dist: deps
	./scripts/dist.sh

clean:
	rm -rf build dist
