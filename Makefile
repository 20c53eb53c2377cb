# The two commands of the README: `make run` and `make test`. Both install the Debian 12
# packages that are missing, configure and build; nothing is downloaded at build time.
# `make package` builds the Debian package for officials into dist/.

BUILD   ?= build
JOBS    ?= $(shell nproc)
PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev libzip-dev libpugixml-dev zlib1g-dev \
            fonts-noto-cjk libgtest-dev libbenchmark-dev python3-openpyxl poppler-utils \
            dpkg-dev file desktop-file-utils clang-format
# Qt's own dialogs and buttons in the desktop's language.
PACKAGES += qt6-translations-l10n
# The live results page: its server (Debian's package of Qt's HTTP server module does not pull
# in the WebSockets module its CMake files require), and what the tests read the page with (an
# HTML5 parser, a browser).
PACKAGES += qt6-httpserver-dev qt6-websockets-dev
# The timing device: Qt's serial port module, and the pseudo-terminal pairs its tests plug and
# unplug (socat).
PACKAGES += qt6-serialport-dev socat
# The gate judges' QR codes.
PACKAGES += libqrencode-dev
LIVE_TEST_PACKAGES := python3-html5lib chromium

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)


.PHONY: all deps install-packages configure build run test format-check bench fuzz screenshots package icons clean

all: build

# Installs only what dpkg does not already report as installed.
deps:
	@$(MAKE) --no-print-directory install-packages WANT="$(PACKAGES)"

install-packages:
	@missing=""; for p in $(WANT); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/zalvik-race

# Every C++ source of the project, for the style check.
SOURCES = $(shell find main.cpp app bench output race setup sheet store tests timing tools ui \
            -name '*.cpp' -o -name '*.h')

test: build format-check
	@$(MAKE) --no-print-directory install-packages WANT="$(LIVE_TEST_PACKAGES)"
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@# The core library and its tests once more, under AddressSanitizer and UBSan.
	[ -f $(BUILD)-asan/build.ninja ] || cmake -S . -B $(BUILD)-asan -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DZALVIK_SANITIZE=ON
	cmake --build $(BUILD)-asan -j $(JOBS) --target core_tests workbook_fuzz_replay part_fuzz_replay
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The code style of .clang-format: a file that differs from it fails the test run.
format-check: deps
	@clang-format --dry-run --Werror $(SOURCES) && \
	  echo "code style: the $(words $(SOURCES)) C++ files follow .clang-format"

# The Debian package for officials, from a Release build of the program alone, into dist/.
PACKAGE_BUILD ?= build-release
package: deps
	[ -f $(PACKAGE_BUILD)/build.ninja ] || cmake -S . -B $(PACKAGE_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Release -DZALVIK_PACKAGE_BUILD=ON
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target zalvik-race zalvik-timer-sim zalvik-judge-sim
	rm -rf $(PACKAGE_BUILD)/cpack
	cd $(PACKAGE_BUILD) && cpack -G DEB -B cpack
	mkdir -p dist
	cp $(PACKAGE_BUILD)/cpack/*.deb dist/
	@ls -l dist/*.deb

# The icon's PNGs at the sizes desktops ask for, drawn from its SVG (both committed).
ICON_SIZES := 16 22 24 32 48 64 128 256
icons:
	@$(MAKE) --no-print-directory install-packages WANT="librsvg2-bin"
	for s in $(ICON_SIZES); do rsvg-convert -w $$s -h $$s packaging/icons/zalvik-race.svg \
	  -o packaging/icons/zalvik-race-$$s.png; done

# Pictures of the five screens with the example workbook loaded, and of the first page of the
# PDF of its official results sheet as the program prints it, for the README.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/make_screenshots examples/example.xlsx docs
	pdftoppm -png -r 80 -f 1 -l 1 -singlefile docs/results-sheet.pdf docs/results-sheet
	rm -f docs/results-sheet.xlsx docs/results-sheet.pdf
	@# The live results page as a phone shows it, in headless Chromium.
	@$(MAKE) --no-print-directory install-packages WANT="$(LIVE_TEST_PACKAGES)"
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/make_live_screenshot examples/example.xlsx docs
	rm -f docs/results-sheet_速報.html

# Fuzzes for FUZZ_SECONDS each (clang, libFuzzer): workbook_fuzz opens any bytes as a workbook
# and loads a competition from it; part_fuzz puts the XML of one part into a valid workbook,
# loads it, writes it the way the results sheet does, saves and reopens it.
FUZZ_SECONDS ?= 60
fuzz: deps
	@$(MAKE) --no-print-directory install-packages WANT="clang libclang-rt-14-dev"
	[ -f $(BUILD)-fuzz/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZALVIK_FUZZ=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target workbook_fuzz part_fuzz
	mkdir -p $(BUILD)-fuzz/corpus $(BUILD)-fuzz/part_corpus
	$(BUILD)-fuzz/tests/workbook_fuzz -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 \
	  -timeout=10 $(BUILD)-fuzz/corpus tests/fuzz/corpus
	$(BUILD)-fuzz/tests/part_fuzz -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 \
	  -timeout=10 $(BUILD)-fuzz/part_corpus tests/fuzz/part_corpus

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/zalvik-bench --peak-memory
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/zalvik-bench --benchmark_out=$(BUILD)/bench/zalvik.json --benchmark_out_format=json
	/usr/bin/python3 bench/peer.py $(BUILD)/bench/bench.xlsx $(BUILD)/bench/zalvik.json

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz $(PACKAGE_BUILD) dist
