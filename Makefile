# The two commands a newcomer needs: `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# CI (CI=true) treats warnings as errors and also builds the Release type,
# so every build type keeps building with Debian's compilers.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: deps configure build build-release test sanitize run bench clean

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

# The whole suite on a Debug tree under AddressSanitizer (with LeakSanitizer) and
# UndefinedBehaviorSanitizer; library-only leaks are listed in tests/sanitizers.supp.
# GCC 12's runtime misreads some dynamic TLS blocks (our engine modules' thread_local data)
# as old glibc headers and its leak tracer then crashes at exit, now and then; without its
# __tls_get_addr interception the leak check itself stays whole.
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize: deps
	cmake -S . -B $(BUILD_DIR)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON -DTARNWICK_WERROR=$(WERROR) -DTARNWICK_BUILD_BENCH=OFF
	cmake --build $(BUILD_DIR)-sanitize -j $(JOBS)
	cd $(BUILD_DIR)-sanitize && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/tarnwick

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b" || exit 1; done

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-release $(BUILD_DIR)-sanitize
