# The README's commands: a thin layer over the CMake presets.
PRESET ?= default
BUILD := build/$(PRESET)
EMULATE ?= 2

.PHONY: deps configure build test run clean test-windows fuzz package

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

# The fuzz targets (clang with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer), each
# run for FUZZ_SECONDS on its seeds; new inputs go to build/fuzz/fuzz-corpus, not the seeds.
FUZZ_SECONDS ?= 60
fuzz:
	scripts/install-deps clang libclang-rt-14-dev
	cmake --preset fuzz
	cmake --build --preset fuzz
	scripts/run-fuzz build/fuzz/bin $(FUZZ_SECONDS)

# The Debian package of this build and the Windows zip with both widths of the library, in
# build/packages; scripts/check-packages runs the unpacked programs and lists the zip.
package: build
	scripts/install-deps dpkg-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686
	cpack --config $(BUILD)/CPackConfig.cmake -B build/packages
	cmake --preset windows-x64-release
	cmake --build --preset windows-x64-release
	cmake --preset windows-x86
	cmake --build --preset windows-x86
	cpack --config build/windows-x64-release/CPackConfig.cmake -B build/packages -D \
	  "CPACK_INSTALL_CMAKE_PROJECTS=$(CURDIR)/build/windows-x64-release;Zorv;ALL;/;$(CURDIR)/build/windows-x86;Zorv;ALL;/"

clean:
	rm -rf build
