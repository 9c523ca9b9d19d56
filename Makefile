# The two commands a new user needs: `make demo` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: demo test build build-asan deps screenshots bench clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DRQ55_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Builds the program and starts it talking to its built-in simulated analyser.
demo: build
	./$(BUILD)/rq55 --demo

# Builds and runs the whole suite, in the normal build and in the sanitizer build.
test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

screenshots: build
	./scripts/screenshots $(BUILD)

bench: build
	./$(BUILD)/bench/rq55-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
