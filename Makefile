# Front door for the usual tasks; CMake does the real work.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)

.PHONY: all build test run test-sanitize perft-full bench bench-book clean

all: build

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	./$(BUILD)/tarno

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  TARNO_SANITIZED=1 ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# Every count of the perft reference file, at every depth it lists.
perft-full: build
	./$(BUILD)/bench/perft_suite tests/data/perft.epd

bench: build
	./$(BUILD)/bench/perft_speed

# Opening book: build time from the 145,716-game collection against
# polyglot make-book (same run, alternating), peak memory of each, and the
# probe time. The collection is unpacked to /tmp once.
SHARED   ?= ../shared
BOOK_PGN ?= /tmp/games-145k.pgn
bench-book: build
	@test -s $(BOOK_PGN) || xz -dc $(SHARED)/data/pgn/games-145k.pgn.xz > $(BOOK_PGN)
	nice -n 10 ./$(BUILD)/bench/book_speed $(BOOK_PGN) 3

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
