# The README's commands: a thin layer over the CMake presets.
PRESET ?= default
BUILD := build/$(PRESET)
EMULATE ?= 2

.PHONY: deps configure build test run clean

deps:
	scripts/install-deps

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

run: build
	@scripts/run-app $(BUILD)/bin $(EMULATE)

clean:
	rm -rf build
