# One entry point for building, testing and benchmarking. Every target installs the packages it
# needs first (scripts/install-deps.sh does nothing when they are present).
BUILD ?= build
BUILD_ASAN ?= build-asan
JOBS ?= $(shell nproc)
CONFIGURE = cmake -S . -G Ninja -DQUILLON_WERROR=ON

.PHONY: all deps configure build run test test-sanitize bench format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Everything: the programs, the tests and the benchmarks.
build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Optimizes a copy of the bundled sample site into build/sample-output, with settings of its own
# (your settings and statistics stay as they are), and prints the summary and the report path.
# Only the command line and the libraries it links are built: the tests and benchmarks are most
# of the build, and `make test` builds them.
run: configure
	cmake --build $(BUILD) --target quillon-cli -j $(JOBS)
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

# Line coverage of src/ by every test: a Debug build of its own with gcov's counters, the tests,
# then gcovr's report in $(BUILD_COVERAGE)/coverage/ (modules.txt per module, index.html per
# line). The report is written even when a test fails; make then fails with ctest's status.
# Counters are updated atomically: the threads of the work pool race on them otherwise, and gcov
# then reads negative counts that gcovr refuses.
BUILD_COVERAGE ?= build-coverage
.PHONY: coverage
coverage: deps
	$(CONFIGURE) -B $(BUILD_COVERAGE) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_BUILD_BENCH=OFF \
		"-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" \
		-DCMAKE_EXE_LINKER_FLAGS=--coverage
	cmake --build $(BUILD_COVERAGE) -j $(JOBS)
	find $(BUILD_COVERAGE) -name '*.gcda' -delete
	rm -rf $(BUILD_COVERAGE)/coverage
	mkdir -p $(BUILD_COVERAGE)/coverage
	status=0; ctest --test-dir $(BUILD_COVERAGE) --output-on-failure -j $(JOBS) || status=$$?; \
	gcovr --root . --object-directory $(BUILD_COVERAGE) --filter src/ -j $(JOBS) \
		--json-summary $(BUILD_COVERAGE)/coverage/summary.json \
		--html-details $(BUILD_COVERAGE)/coverage/index.html \
		--txt $(BUILD_COVERAGE)/coverage/files.txt && \
	scripts/coverage-summary.py $(BUILD_COVERAGE)/coverage/summary.json \
		--out $(BUILD_COVERAGE)/coverage/modules.txt && \
	exit $$status

bench: build
	@for program in $(BUILD)/bench/bench_*; do echo "== $$program"; $$program; done

# Quillon beside Debian's minify, gifsicle and jpegoptim on one big page and on the generated
# site (bench/compare-tools.py). Wall times: the figures mean most on an otherwise idle machine.
# About ten minutes: the disk is given a minute before each run of the site benchmark.
.PHONY: compare
compare: configure
	cmake --build $(BUILD) --target quillon-cli -j $(JOBS)
	python3 bench/compare-tools.py --cli $(BUILD)/src/cli/quillon-cli

format: deps
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
