# One entry point for building, testing and benchmarking. Every target installs the packages it
# needs first (scripts/install-deps.sh does nothing when they are present).
BUILD ?= build
BUILD_ASAN ?= build-asan
JOBS ?= $(shell nproc)
CONFIGURE = cmake -S . -G Ninja -DQUILLON_WERROR=ON

.PHONY: all deps build test test-sanitize bench format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	$(CONFIGURE) -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON \
		-DQUILLON_BUILD_BENCH=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)

bench: build
	@for program in $(BUILD)/bench/bench_*; do echo "== $$program"; $$program; done

format: deps
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
