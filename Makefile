# The whole set-up: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD ?= build-bench
WIN_BUILD  ?= build-win
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
# Clones and worktrees share cached objects (paths taken relative to here).
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

# The project's version, set once in CMakeLists.txt.
VERSION    := $(shell grep -m1 '^project' CMakeLists.txt | grep -o 'VERSION [0-9.]*' | cut -d' ' -f2)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SHORT_SECONDS ?= 10
# Marks the programs one `make test` run starts, so that the check at its end
# finds those left running (and never another worktree's).
TEST_MARK  := $(CURDIR)@$(shell date +%s%N)

.PHONY: all build stage run test check-layers test-unit test-asan test-tsan bench fuzz fuzz-short fuzz-build demo clean bootstrap \
	build-win run-win test-win dist-win

all: build

bootstrap:
	@bash scripts/bootstrap.sh

$(BUILD)/build.ninja: | bootstrap
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZS_WERROR=ON

build: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	rm -rf $(BUILD)/stage
	cmake --install $(BUILD) --prefix $(CURDIR)/$(BUILD)/stage >/dev/null
	@echo "stage: $(BUILD)/stage"

run: build
	@exec bash scripts/run-stage.sh $(BUILD)/stage

# The full run: the layer check, sanitizer builds, short fuzzing, the Windows
# build under Wine, the demo tour, then every test of the main build (its
# summary is the last output line unless a test left a program of its stage
# running, which fails the run).
test: check-layers build test-asan test-tsan fuzz-short test-win
	ZS_TEST_RUN='$(TEST_MARK)' bash scripts/demo.sh $(BUILD)
	cd $(BUILD) && ZS_TEST_RUN='$(TEST_MARK)' ctest --output-on-failure -j $(JOBS) --timeout 600; \
		status=$$?; bash $(CURDIR)/scripts/check-leftovers.sh '$(TEST_MARK)' || status=1; exit $$status

# No include runs against the layer order.
check-layers:
	bash scripts/check-layers.sh

# The Windows build: cross-built with mingw-w64, staged like the Linux one
# with programs named .exe and bin/wine-run beside them.
$(WIN_BUILD)/build.ninja: | bootstrap
	cmake -S . -B $(WIN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZS_WERROR=ON \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-mingw64.cmake

build-win: bootstrap $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS)
	rm -rf $(WIN_BUILD)/stage
	cmake --install $(WIN_BUILD) --prefix $(CURDIR)/$(WIN_BUILD)/stage >/dev/null
	@echo "stage: $(WIN_BUILD)/stage"

# The staged Windows server under Wine, with the stage's own orvanta.exe.
run-win: build-win
	@bash scripts/prepare-run.sh $(WIN_BUILD)/stage
	exec $(WIN_BUILD)/stage/bin/wine-run $(WIN_BUILD)/stage/Zebrix/ZebHelper/ZebrixServer.exe

# The Windows unit tests under Wine (a prefix of the build tree's own), the
# server with its shell (null driver and Xvfb), then the end-to-end tests of
# the Linux build against the Windows stage.
test-win: build build-win dist-win
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	bash scripts/test-win-shell.sh $(BUILD) $(WIN_BUILD)
	bash scripts/test-win-e2e.sh $(BUILD) $(WIN_BUILD)
	bash tests/win/installer_test.sh $(WIN_BUILD) $(BUILD)/stage/bin/zebrix-client $(VERSION)

# The setup program and the portable archive in $(WIN_BUILD)/dist/; signed
# with Authenticode when given a certificate: make dist-win SIGN_PFX=cert.pfx
# SIGN_PASS=... (make hands variables set on its command line to the script).
dist-win: build-win
	bash scripts/dist-win.sh $(WIN_BUILD) $(VERSION)

# The README's five-minute tour against a private copy of the stage.
demo: build
	bash scripts/demo.sh $(BUILD)

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L unit

$(ASAN_BUILD)/build.ninja: | bootstrap
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DZS_WERROR=ON -DZS_SANITIZE=address,undefined -DZS_WITH_SHELL=OFF

# Unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: bootstrap $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ZS_TEST_RUN='$(TEST_MARK)' ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -L unit --timeout 600

# g++ warns that ThreadSanitizer does not model atomic_thread_fence (used inside
# Boost.Asio); that warning is not an error here.
$(TSAN_BUILD)/build.ninja: | bootstrap
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DZS_WERROR=ON -DZS_SANITIZE=thread -DZS_WITH_SHELL=OFF \
		-DCMAKE_CXX_FLAGS=-Wno-tsan

# The concurrency tests (listener, sessions, controller, render queue and
# worker, desktop) under ThreadSanitizer; any report fails the run. Only the
# test programs carrying the `concurrency` label are built.
test-tsan: bootstrap $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target concurrency_tests
	cd $(TSAN_BUILD) && ZS_TEST_RUN='$(TEST_MARK)' TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
		ctest --output-on-failure -j $(JOBS) -L concurrency --timeout 600

bench: bootstrap build-win
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DZS_WERROR=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	rm -rf $(BENCH_BUILD)/stage
	cmake --install $(BENCH_BUILD) --prefix $(CURDIR)/$(BENCH_BUILD)/stage >/dev/null
	bash bench/run-all.sh $(BENCH_BUILD) $(WIN_BUILD)

$(FUZZ_BUILD)/build.ninja: | bootstrap
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DZS_WERROR=ON -DZS_FUZZ=ON -DZS_WITH_SHELL=OFF -DZS_WITH_TESTS=OFF -DZS_SANITIZE=address,undefined

fuzz-build: bootstrap $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all

# Each fuzz target for a bounded time; a finding fails the run.
fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-short: fuzz-build
	bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SHORT_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)
