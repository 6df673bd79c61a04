# Proofshot: the two everyday commands are `make test` and `make demo`.
PRESET ?= default
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all deps configure build test test-asan test-tsan bench fuzz demo screenshots format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS) $(CTEST_ARGS)

# The areas whose suites have been brought clean under each sanitizer; CI runs exactly these.
# ASan+UBSan runs every test of ASAN_AREAS (bench is left out: its tests are Python). TSan runs
# the concurrency tests of TSAN_AREAS and every test of TSAN_WHOLE_AREAS.
ASAN_AREAS ?= core url orderd net ui app e2e load
TSAN_AREAS ?= core url orderd net
TSAN_WHOLE_AREAS ?= url net e2e
empty :=
space := $(empty) $(empty)
labels = '^($(subst $(space),|,$(strip $(1))))$$'

# LSan takes the documented suppressions of system libraries. SDL draws without OpenGL: Mesa's
# GL driver is unloaded at SDL_Quit with allocations still held by its globals, which LSan then
# reports against an unmapped module that no suppression can name.
ASAN_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp \
           SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS) --target $(addprefix tests-,$(ASAN_AREAS))
	@$(ASAN_ENV) ctest --preset asan -j $(JOBS) -L $(call labels,$(ASAN_AREAS)) $(CTEST_ARGS)

# Tests that are not built show up unlabelled, so the label filter skips them.
test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS) \
	    --target $(patsubst %,tests-%-concurrency,$(TSAN_AREAS)) $(addprefix tests-,$(TSAN_WHOLE_AREAS))
	@ctest --preset tsan -j $(JOBS) -L $(call labels,concurrency $(TSAN_WHOLE_AREAS)) $(CTEST_ARGS)

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) --target benchmarks
	@scripts/run-bench

# The libFuzzer targets, each for FUZZ_SECONDS, in a clang build of their own.
FUZZ_SECONDS ?= 60
fuzz: deps
	@scripts/fuzz --seconds $(FUZZ_SECONDS)

# The order service with demo data on a free loopback port, and the app's scripted session
# against it (scripts/demo-service alone runs just the service, until Ctrl-C).
demo: build
	@scripts/demo --build build/$(PRESET)

# docs/screenshots: a small PNG of each walkthrough step and strip.png, shown in the README.
screenshots: build
	@scripts/screenshots --build build/$(PRESET)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
