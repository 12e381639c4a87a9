# The two commands a newcomer needs: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# CI (CI=true) treats warnings as errors and also builds the Release type,
# so every build type keeps building with Debian's compilers.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: deps configure build build-release test run bench clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DTARNWICK_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

build-release: deps
	cmake -S . -B $(BUILD_DIR)-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_WERROR=$(WERROR) -DTARNWICK_BUILD_BENCH=OFF
	cmake --build $(BUILD_DIR)-release -j $(JOBS)

test: build $(if $(CI),build-release)
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/tarnwick

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b" || exit 1; done

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-release
