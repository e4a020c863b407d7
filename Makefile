# Set-up and everyday commands. `make run` and `make test` install any missing Debian packages first.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
FUZZ_JOBS  ?= $(shell nproc)
# FUZZ_SECONDS: seconds per fuzz target; by default 15 for fuzz-smoke and 600 for fuzz-long.
CMAKE_FLAGS ?=
# The browser build: WebAssembly objects under WEB_BUILD, the finished site in WEB_OUT.
WEB_BUILD  ?= build-web
WEB_OUT    ?= $(WEB_BUILD)/site
# The Windows build: tarvex-cli.exe cross-built under WIN_BUILD, its zip left in WIN_OUT.
WIN_BUILD  ?= build-windows
WIN_OUT    ?= $(WIN_BUILD)

PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libgl-dev \
            libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev zlib1g-dev clang libclang-rt-14-dev \
            mame-tools libdsk-utils fuse-emulator-utils xvfb xauth \
            desktop-file-utils appstream shared-mime-info libglib2.0-bin libxml2-utils man-db groff-base \
            bash-completion qt6-translations-l10n lintian gettext locales hyperfine faketime
# The locales the tests run the programs under.
LOCALES := ru_RU en_US
# The browser build and its tests: emscripten (its optimiser needs node-acorn), headless Chromium driven
# by puppeteer-core from the npm registry, and a fixed clock for the command line's TD0 comments.
# npm comes with some builds of nodejs; Debian's own npm package is added only where the command is missing.
WEB_PACKAGES := emscripten node-acorn nodejs chromium faketime gettext $(if $(shell command -v npm),,npm)

# The Windows program: MinGW-w64's compiler, mandoc for its manual in HTML, and Wine, which the tests run it
# under (64-bit only, without the recommended 32-bit half).
WIN_PACKAGES := g++-mingw-w64-x86-64-posix mandoc gettext cmake ninja-build libcli11-dev wine wine64

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# deb: the Debian package of the build in BUILD, left there; package-check installs it with apt and checks it.
.PHONY: deps web-deps windows windows-deps configure build run demo test deb package-check test-unit fuzz-build fuzz-smoke fuzz-long \
        bench corpus-hashes screenshots po web web-test-deps web-screenshots web-bench clean

deps:
	@$(MAKE) --no-print-directory install-packages WANTED="$(PACKAGES)"
	@need=""; for l in $(LOCALES); do locale -a 2>/dev/null | grep -qix "$$l.utf-\?8" || need="$$need $$l"; done; \
	if [ -n "$$need" ]; then \
	  echo "Generating locales:$$need"; \
	  for l in $$need; do \
	    grep -q "^$$l.UTF-8 UTF-8" /etc/locale.gen || echo "$$l.UTF-8 UTF-8" | $(SUDO) tee -a /etc/locale.gen >/dev/null; \
	  done; \
	  $(SUDO) locale-gen >/dev/null; \
	fi

web-deps:
	@$(MAKE) --no-print-directory install-packages WANTED="$(WEB_PACKAGES)" APT_FLAGS=--no-install-recommends

.PHONY: install-packages
install-packages:
	@missing=""; for p in $(WANTED); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get -o DPkg::Lock::Timeout=600 install -y -qq $(APT_FLAGS) $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DTARVEX_WEB_SITE="$(abspath $(WEB_OUT))" \
	  -DTARVEX_WINDOWS_CLI="$(abspath $(WIN_BUILD))/bin/tarvex-cli.exe" $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

run: build
	@if [ -x $(BUILD)/bin/tarvex ]; then $(BUILD)/bin/tarvex; else $(MAKE) --no-print-directory demo; fi

demo: build
	@scripts/demo.sh $(BUILD)/bin/tarvex-cli

# The browser tests (label web) open the site that `make web` assembles in build-web/site; the Windows tests
# (label windows) run under Wine the program `make windows` builds in build-windows.
test: build web windows web-test-deps
	ctest --test-dir $(BUILD) --output-on-failure -j2

# Debian's emscripten runs its optimiser with the system's node, which looks for node-acorn here. Its
# library cache lives under /usr/share, which only root may write; anyone else keeps one at home.
WEB_ENV := NODE_PATH=/usr/share/nodejs $(if $(SUDO),EM_CACHE=$(HOME)/.cache/emscripten)

web: web-deps
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DTARVEX_WEB_OUT="$(abspath $(WEB_OUT))"
	$(WEB_ENV) cmake --build $(WEB_BUILD)
	@echo "Site in $(WEB_OUT): open it with  python3 -m http.server -d $(WEB_OUT)"

windows-deps:
	@$(MAKE) --no-print-directory install-packages WANTED="$(WIN_PACKAGES)" APT_FLAGS=--no-install-recommends

# tarvex-cli.exe, static, with the Russian catalogue inside; packed with README.txt and the manual in HTML.
windows: windows-deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTARVEX_WINDOWS_OUT="$(abspath $(WIN_OUT))"
	cmake --build $(WIN_BUILD)
	@ls $(WIN_OUT)/tarvex-windows-*.zip

web-test-deps: web-deps
	cd tests/web/browser && npm ci --no-audit --no-fund --loglevel=error

web-screenshots: web web-test-deps
	node tests/web/browser/screenshots.js $(WEB_OUT) $(WEB_BUILD)/screenshots

web-bench: web web-test-deps
	node bench/web_td0.js $(WEB_OUT)

fuzz-build: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTARVEX_FUZZ=ON -DTARVEX_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD)

fuzz-smoke: fuzz-build
	@scripts/fuzz_smoke.sh $(FUZZ_BUILD)/bin $(or $(FUZZ_SECONDS),15) $(FUZZ_JOBS)

# Every target for FUZZ_SECONDS, FUZZ_JOBS at a time; corpus and findings kept under $(FUZZ_BUILD).
fuzz-long: fuzz-build
	@scripts/fuzz_long.sh $(FUZZ_BUILD)/bin $(or $(FUZZ_SECONDS),600) $(FUZZ_JOBS) $(FUZZ_BUILD)

# po: brings po/ru.po up to the texts the code marks; new texts arrive untranslated (the catalogue test
# fails until they are translated), texts the code dropped become obsolete entries to delete.
po: deps
	@po/extract_texts.sh . $(BUILD)/tarvex.pot
	@msgmerge --quiet --update --backup=none --no-location --sort-output po/ru.po $(BUILD)/tarvex.pot
	@msgattrib --untranslated po/ru.po | grep -c '^msgid' | awk '$$1 > 1 {print $$1 - 1 " untranslated in po/ru.po"}'

screenshots: build
	@scripts/screenshots.sh $(BUILD)

bench: build
	@for b in $(BUILD)/bin/bench_*; do [ -x "$$b" ] && "$$b"; done; bench/batch.sh 200 trd $(BUILD)/bin/tarvex-cli; \
	  bench/single.sh $(BUILD)/bin/tarvex-cli

# Every corpus image converted to every format, outputs hashed: compare the lists of two builds.
# The tests' build of the command line, of the same sources: the shipped one is a static program, whose
# clock faketime cannot freeze.
corpus-hashes: build
	@scripts/corpus_hashes.sh $(BUILD)/tests/tarvex-cli-checked

deb: build
	@rm -f $(BUILD)/tarvex_*.deb
	@cd $(BUILD) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@ls $(BUILD)/tarvex_*.deb

package-check: deb
	@tests/install/check_install.sh --package $$(ls $(BUILD)/tarvex_*.deb) . $(or $(TARVEX_CORPUS_DIR),tests/data/corpus)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(WEB_BUILD) $(WIN_BUILD)
