# Set-up and everyday commands. `make run` and `make test` install any missing Debian packages first.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
FUZZ_JOBS  ?= $(shell nproc)
# FUZZ_SECONDS: seconds per fuzz target; by default 15 for fuzz-smoke and 600 for fuzz-long.
CMAKE_FLAGS ?=

PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libgl-dev \
            libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev clang libclang-rt-14-dev \
            mame-tools libdsk-utils fuse-emulator-utils xvfb xauth \
            desktop-file-utils appstream shared-mime-info libglib2.0-bin libxml2-utils man-db groff-base \
            bash-completion hyperfine faketime

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps configure build run demo test test-unit fuzz-build fuzz-smoke fuzz-long bench corpus-hashes screenshots clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

run: build
	@if [ -x $(BUILD)/bin/tarvex ]; then $(BUILD)/bin/tarvex; else $(MAKE) --no-print-directory demo; fi

demo: build
	@scripts/demo.sh $(BUILD)/bin/tarvex-cli

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

fuzz-build: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTARVEX_FUZZ=ON -DTARVEX_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD)

fuzz-smoke: fuzz-build
	@scripts/fuzz_smoke.sh $(FUZZ_BUILD)/bin $(or $(FUZZ_SECONDS),15) $(FUZZ_JOBS)

# Every target for FUZZ_SECONDS, FUZZ_JOBS at a time; corpus and findings kept under $(FUZZ_BUILD).
fuzz-long: fuzz-build
	@scripts/fuzz_long.sh $(FUZZ_BUILD)/bin $(or $(FUZZ_SECONDS),600) $(FUZZ_JOBS) $(FUZZ_BUILD)

screenshots: build
	@scripts/screenshots.sh $(BUILD)

bench: build
	@for b in $(BUILD)/bin/bench_*; do [ -x "$$b" ] && "$$b"; done; bench/batch.sh 200 trd $(BUILD)/bin/tarvex-cli; \
	  bench/single.sh $(BUILD)/bin/tarvex-cli

# Every corpus image converted to every format, outputs hashed: compare the lists of two builds.
corpus-hashes: build
	@scripts/corpus_hashes.sh $(BUILD)/bin/tarvex-cli

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
