# Proofshot: the two everyday commands are `make test` and `make demo`.
PRESET ?= default
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all deps configure build test test-asan test-tsan bench demo format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS) $(CTEST_ARGS)

test-asan:
	@$(MAKE) --no-print-directory test PRESET=asan

test-tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@scripts/run-bench

# The order service with demo data, in the foreground until Ctrl-C.
demo: build
	@scripts/demo-service --binary build/$(PRESET)/orderd/proofshot-orderd

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
