# Top-level entry points. `make test` installs what is missing, configures,
# builds and runs the whole suite; `make run` shows the library at work.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure build test test-asan run bench clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja: | setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

configure: $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DQUIVRA_SANITIZE=ON -DQUIVRA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null

test-asan: $(ASAN_BUILD)/build.ninja
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run-demo.sh $(BUILD)

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
