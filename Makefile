# Thin driver over CMake.
#   make          the release binary build/korvane (and the tests, when GoogleTest is there)
#   make demo     the program, the samples unpacked in build/samples, and a few conversions
#   make test     installs what the tests need (tools/install-deps.sh), builds, runs every test
#   make install  the program and its manual page under $(DESTDIR)$(PREFIX)
#   make bench    the speed benchmark (bench/README.md)
# Without CMake, `make`, `make demo` and `make install` build with the compiler directly.
BUILD ?= build
PREFIX ?= /usr/local
DESTDIR ?=
CMAKE ?= cmake
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

FUZZ_SECONDS ?= 60

.PHONY: all build program test deps demo install clean bench fuzz

all: build

CONFIGURE = $(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

ifneq ($(shell command -v $(CMAKE) 2>/dev/null),)

build:
	$(CONFIGURE) $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# The program and the unpacked samples alone, without the tests.
program:
	$(CONFIGURE) $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target korvane samples

install: program
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix "$(PREFIX)"

else

# No CMake: one compiler run over every source, with the flags of the release build, and the
# samples unpacked as the CMake build does.
CXXFLAGS ?= -O3 -DNDEBUG
SOURCES := $(wildcard src/*.cpp src/*/*.cpp)
SAMPLES := $(patsubst samples/%,$(BUILD)/samples/%,$(patsubst %.gz,%,\
	$(shell find samples -name '*.cue' -o -name '*.mpg' -o -name '*.gz')))

build program: $(BUILD)/korvane $(SAMPLES)

$(BUILD)/korvane: $(SOURCES) $(wildcard src/*/*.h)
	@mkdir -p $(@D)
	$(CXX) -std=c++17 -Wall -Wextra -Wpedantic -D_FILE_OFFSET_BITS=64 -Isrc $(CXXFLAGS) \
		$(SOURCES) -static-libstdc++ -static-libgcc -o $@

$(BUILD)/samples/%: samples/%.gz
	@mkdir -p $(@D)
	gzip -dc $< > $@.part && mv $@.part $@

$(BUILD)/samples/%: samples/%
	@mkdir -p $(@D)
	cp $< $@

install: program
	install -D -m 755 $(BUILD)/korvane "$(DESTDIR)$(PREFIX)/bin/korvane"
	install -D -m 644 korvane.1 "$(DESTDIR)$(PREFIX)/share/man/man1/korvane.1"

endif

deps:
	sh tools/install-deps.sh test

test: deps
	$(CONFIGURE) -DKORVANE_TESTS=ON $(CMAKE_FLAGS)
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: program
	sh demo/run.sh $(BUILD)

bench: program
	sh tools/install-deps.sh bench
	sh bench/run.sh $(BUILD)

fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh

clean:
	rm -rf $(BUILD)
