# One entry point for building, testing and benchmarking. Every target installs the packages it
# needs first (scripts/install-deps.sh does nothing when they are present).
BUILD ?= build
BUILD_ASAN ?= build-asan
JOBS ?= $(shell nproc)
CONFIGURE = cmake -S . -G Ninja -DQUILLON_WERROR=ON

.PHONY: all deps build run test test-sanitize bench format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Optimizes a copy of the bundled sample site into build/sample-output, with settings of its own
# (your settings and statistics stay as they are), and prints the summary and the report path.
run: build
	rm -rf $(BUILD)/sample-output $(BUILD)/sample-settings.ini
	$(BUILD)/src/cli/quillon-cli --settings $(BUILD)/sample-settings.ini \
		--dest $(BUILD)/sample-output examples/site

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
