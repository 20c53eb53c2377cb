# The two commands of the README: `make run` and `make test`. Both install the Debian 12
# packages that are missing, configure and build; nothing is downloaded at build time.

BUILD   ?= build
JOBS    ?= $(shell nproc)
PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev libzip-dev libpugixml-dev \
            fonts-noto-cjk libgtest-dev libbenchmark-dev python3-openpyxl

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test bench clean

all: build

# Installs only what dpkg does not already report as installed.
deps:
	@missing=""; for p in $(PACKAGES); do \
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

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	$(BUILD)/bench/zalvik-bench --benchmark_out=$(BUILD)/bench/zalvik.json --benchmark_out_format=json
	/usr/bin/python3 bench/peer.py $(BUILD)/bench/bench.xlsx $(BUILD)/bench/zalvik.json

clean:
	rm -rf $(BUILD)
