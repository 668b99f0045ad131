# Set-up and everyday commands; each one installs what is missing first.
JOBS ?= $(shell nproc)

.PHONY: deps build test bench run install clean

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

bench: build
	cmake --build --preset release --target bench

run: build
	build/loom demo out

install: build
	mkdir -p $(HOME)/.clap
	cp build/kiln.clap $(HOME)/.clap/

clean:
	rm -rf build build-debug build-asan build-tsan
