# The README's commands: a thin layer over the CMake presets.
PRESET ?= default
BUILD := build/$(PRESET)
EMULATE ?= 2

.PHONY: deps configure build test run clean test-windows

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

# The Windows build, checked here: the 64-bit suite runs under Wine; 32-bit Wine is not
# available, so the 32-bit library is built and its export table inspected.
test-windows:
	scripts/install-deps g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 wine
	cmake --preset windows-x64
	cmake --build --preset windows-x64
	ctest --preset windows-x64
	cmake --preset windows-x86
	cmake --build --preset windows-x86
	scripts/check-win32-exports build/windows-x86/bin/ZORVDLL.DLL

clean:
	rm -rf build
