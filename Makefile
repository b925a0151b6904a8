# Entry points for people and CI. Every target first makes sure the Debian packages it
# needs are installed (tools/bootstrap.sh is idempotent).
#   make         build both architectures and stage dist/win32 and dist/win64
#   make test    build, then run every test under Wine (64-bit build)
#   make demo    build what the demo needs (64-bit), run the main job under Wine and save
#                screenshots in build/
#   make run     build, then open the client on your display against the stand-in
#   make bench   build, then run every benchmark under bench/ and print one table
#                (BENCH="upload startup" runs only those; never part of make test)
JOBS ?= $(shell nproc)
WIN64 := build/win64
WIN32 := build/win32

.PHONY: all bootstrap build build64 build32 test demo run bench format clean

all: build

bootstrap:
	@sh tools/bootstrap.sh

$(WIN64)/CMakeCache.txt: | bootstrap
	cmake --preset win64 >/dev/null

$(WIN32)/CMakeCache.txt: | bootstrap
	cmake --preset win32 >/dev/null

build64: bootstrap $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) -j $(JOBS)

build32: bootstrap $(WIN32)/CMakeCache.txt
	cmake --build $(WIN32) -j $(JOBS)

build: build64 build32

# TEST=regex runs only the matching tests, e.g. make test TEST=TaskFile. Three tests run
# at a time (TEST_JOBS): most of a test's time is waiting on Wine, windows and the
# stand-in, not the two cores; the resource locks in tests/CMakeLists.txt keep apart the
# ones that share something.
TEST_JOBS ?= 3
test: build
	tools/winenv $(WIN64) ctest --test-dir $(WIN64) --output-on-failure --timeout 300 \
	    -j $(TEST_JOBS) $(if $(TEST),-R '$(TEST)',)

# The demo runs the 64-bit installer, client and extension under Wine: only those and the
# UI driver are built (no test programs, no 32-bit tree), so a fresh clone shows it soon.
demo: bootstrap $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) -j $(JOBS) --target demo_deps
	tools/winenv $(WIN64) tools/demo.sh $(WIN64)

# The client on your display, against the stand-in service.
run: build
	tools/winenv $(WIN64) tools/run.sh $(WIN64)

# Benchmarks measure the 64-bit build under Wine, so only that tree is needed.
bench: build64
	tools/winenv $(WIN64) bench/run-bench.sh $(WIN64) $(BENCH)

format:
	find client common shellext tools tests bench \( -name '*.cpp' -o -name '*.h' \) \
	    -print0 | xargs -0 clang-format -i

clean:
	rm -rf build dist
