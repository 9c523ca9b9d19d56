# The two commands a new user needs: `make demo` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: demo test configure build build-asan deps deps-test screenshots bench fuzz package windows test-windows clean

# What building and running the program needs; and with the test suite, what it starts beside it.
deps:
	./scripts/install-deps

deps-test:
	./scripts/install-deps --test

configure: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRQ55_WERROR=ON -DRQ55_TESTS=ON -DRQ55_PACKAGE_TEST=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps-test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DRQ55_SANITIZE=ON -DRQ55_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Builds the programs (rq55, rq55ctl and rq55-sim, without the test suite) and starts the
# desktop program talking to its built-in simulated analyser.
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRQ55_WERROR=ON -DRQ55_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target rq55 rq55ctl rq55-sim
	./$(BUILD)/rq55 --demo

# Builds and runs the whole suite, in the normal build and in the sanitizer build; and the Windows
# build's under Wine when the Qt for Windows is already built (make windows builds it, once).
WINDOWS_QT ?= $(or $(RQ55_WINDOWS_QT),$(HOME)/.cache/rq55/qt6-windows)
# The normal build's tests run as soon as it is built, before the sanitizer build begins.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	@if [ -f "$(WINDOWS_QT)/rq55-built" ]; then $(MAKE) test-windows HOST_BUILD=$(abspath $(BUILD)); \
	else echo "test-windows: SKIPPED: no Qt for Windows in $(WINDOWS_QT) (make windows builds it once, in about an hour)"; fi

# RQ55 for 64-bit Windows, cross-built here: build-windows/RQ55-<version>-setup.exe and -windows.zip.
WINDOWS_BUILD ?= build-windows
HOST_BUILD ?= $(WINDOWS_BUILD)/host
windows:
	WINDOWS_BUILD=$(WINDOWS_BUILD) HOST_BUILD=$(HOST_BUILD) RQ55_WINDOWS_QT=$(WINDOWS_QT) ./scripts/windows

# The Windows build's tests, under Wine: the layers' unit tests and the programs end to end.
test-windows: windows
	cd $(WINDOWS_BUILD) && RQ55_WINDOWS_QT=$(WINDOWS_QT) ctest --output-on-failure -j 1

screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target rq55-shots
	./scripts/screenshots $(BUILD)

# Runs the benchmark and writes its figures into README.md; PARTS="flood trend" runs those alone.
bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target rq55-bench
	./scripts/bench $(BUILD) $(PARTS)

# Runs every fuzz target for FUZZ_SECONDS each (clang's libFuzzer), starting from its corpus.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	./scripts/install-deps --fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRQ55_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Debian package, from a release build: build-release/package/rq55_<version>_amd64.deb
RELEASE_BUILD ?= build-release
package: deps-test
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DRQ55_TESTS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	cd $(RELEASE_BUILD) && cpack
	@ls $(RELEASE_BUILD)/package/*.deb
	@if command -v lintian > /dev/null; then lintian -I --tag-display-limit 0 $(RELEASE_BUILD)/package/*.deb; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD) $(WINDOWS_BUILD)
