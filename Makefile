# The two commands for a fresh machine: `make run` and `make test`.
BUILD   := build
X64     := $(BUILD)/cmake-x64
WIN32   := $(BUILD)/win32/cmake
RUNNER  := tools/run.sh

.PHONY: all setup build run test soak bench dist screenshot clean

all: build

setup:
	@bash tools/setup.sh

build: setup
	@cmake -S . -B $(X64) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTAVOLIN_BIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	@cmake -S . -B $(WIN32) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DTAVOLIN_BIN_DIR=$(CURDIR)/$(BUILD)/win32/bin >/dev/null
	@cmake --build $(X64)
	@cmake --build $(WIN32)

run: build
	@bash tools/run-demo.sh

test: build
	@bash tools/test-both.sh

soak: build
	@bash tools/soak.sh

bench: build
	@TAVOLIN_PREFIX=bench $(RUNNER) bash bench/run.sh

dist: build
	@bash dist/pack.sh

screenshot: build
	@TAVOLIN_PREFIX=run $(RUNNER) bash tools/screenshot.sh build/bin/Tavolin.exe build/screenshots/tavolin.png

clean:
	rm -rf $(BUILD)
