# Set-up and everyday commands; each one installs what is missing first.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build test bench fuzz run install clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

test: build
	ctest --preset release -j $(JOBS)
	cmake --preset asan-ubsan
	cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan -j $(JOBS)
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

bench: build
	cmake --build --preset release --target bench

# Every fuzz target for FUZZ_SECONDS each (clang-19, ASan + UBSan), from the seed corpora.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	scripts/fuzz $(FUZZ_SECONDS)

run: build
	build/loom demo out

install: build
	mkdir -p $(HOME)/.clap
	cp build/kiln.clap $(HOME)/.clap/

clean:
	rm -rf build build-debug build-asan build-tsan build-fuzz
