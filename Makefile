# Everyday entry points. `make run` and `make test` install what is missing first.
BUILD ?= build
TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
ARGS ?=
# The tests run two at a time or more (each desktop test has its own X server and bus).
CTEST_ARGS ?= -j$(shell nproc)

.PHONY: all deps configure build run test deb install bench asan fuzz format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	./$(BUILD)/src/plim $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure $(CTEST_ARGS)

# A Debian package of the build, $(BUILD)/plim_<version>_<arch>.deb: `sudo apt install ./$(BUILD)/plim_*.deb`.
deb: build
	cd $(BUILD) && cpack -G DEB

# Into PREFIX (default /usr/local): the program, its fonts, launcher, icon, metadata, man page, completion.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLIM_BENCH=ON >/dev/null
	@cmake --build build-bench --target plim_bench
	./build-bench/bench/plim_bench $(BENCH_ARGS)

# Core tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLIM_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan --target core_tests
	cd build-asan && ctest --output-on-failure -L core $(CTEST_ARGS)

# Each fuzz target for a bounded number of runs (FUZZ_RUNS), from its seed corpus when it has one.
FUZZ_RUNS ?= 200000
fuzz: deps
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_FUZZ=ON -DPLIM_TESTS=OFF >/dev/null
	@cmake --build build-fuzz --target fuzzers
	@FUZZ_RUNS=$(FUZZ_RUNS) bash scripts/run-fuzz.sh build-fuzz

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-bench build-fuzz
