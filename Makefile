# Front door for the usual tasks; CMake does the real work.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-thread
JOBS       ?= $(shell nproc)

.PHONY: all build test run test-sanitize fuzz fuzz-build test-thread perft-full bench bench-book clean tablebases tablebase-check tablebase-epd bench-tablebases syzygy-epd bench-syzygy

# The Debian packages a target needs, by purpose (see tools/install-deps.sh):
# the missing ones are installed before anything is built. With nothing
# missing the check is one read of dpkg's database.
DEPS       = tools/install-deps.sh
DEP_GROUPS = build
# A target's groups hold for what it builds first, so "make test" has
# GoogleTest in place before the build is configured.
test syzygy-epd: DEP_GROUPS = build test
bench-book: DEP_GROUPS = build bench

all: build

build:
	@$(DEPS) $(DEP_GROUPS)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

run: build
	./$(BUILD)/tarno

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	@$(DEPS) build test
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_SANITIZE=ON >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  TARNO_SANITIZED=1 ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# The tests that run several search threads, under ThreadSanitizer: every
# value the threads share must be an atomic or lock-guarded access.
test-thread:
	@$(DEPS) build test
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_THREAD_SANITIZE=ON >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target search_tests platform_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" TARNO_THREAD_SANITIZED=1 \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R 'Parallel|Threads'

# Every count of the perft reference files (the standard game's and
# Chess960's), at every depth they list.
perft-full: build
	./$(BUILD)/bench/perft_suite tests/data/perft.epd
	./$(BUILD)/bench/perft_suite tests/data/perft960.epd --chess960

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

# Endgame tables of our own format: every table up to MEN men (3, 4 or 5)
# into TBDIR, compressed (".emd") with COMPRESS=1. Tables already in TBDIR
# are kept and read where others depend on them.
TBDIR    ?= tablebases
MEN      ?= 4
COMPRESS ?=
tablebases: build
	@mkdir -p $(TBDIR)
	nice -n 10 ./$(BUILD)/tools/tbgen -d $(TBDIR) --men $(MEN) $(if $(COMPRESS),-c)

# Generates the tables (all 3- and 4-man ones unless TB_TABLES names some)
# into TBDIR and compares every legal position, both sides to move, with
# Gaviota's tables in GAVIOTA: any difference fails.
GAVIOTA   ?= ../shared/data/gaviota
TB_TABLES ?=
tablebase-check: build
	@mkdir -p $(TBDIR)
	nice -n 10 ./$(BUILD)/tools/tbgen -d $(TBDIR) $(if $(TB_TABLES),$(TB_TABLES),--men 4)
	nice -n 10 ./$(BUILD)/tools/tbcheck -d $(TBDIR) -g $(GAVIOTA) $(if $(TB_TABLES),$(TB_TABLES),--men 4)

# The engine's probe against positions with known mate distances: the
# tables up to four men are generated into TBDIR first.
ENDGAMES ?= ../shared/data/endgames
TB_EPD   ?= $(ENDGAMES)/dm-3-4.epd $(ENDGAMES)/mates-KRvK.epd $(ENDGAMES)/mates-KBNvK.epd $(ENDGAMES)/mates-KQvKR.epd
tablebase-epd: build
	@mkdir -p $(TBDIR)
	nice -n 10 ./$(BUILD)/tools/tbgen -d $(TBDIR) $(if $(TB_TABLES),$(TB_TABLES),--men 4)
	./$(BUILD)/tools/tbepd -d $(TBDIR) $(TB_EPD)

# Generation time of every table up to MEN men and the cached probe rate.
bench-tablebases: build
	nice -n 10 ./$(BUILD)/bench/tablebase_speed --men $(MEN)

# Syzygy tables through the engine: every position of SYZYGY_EPD ("wdl" and
# "dtz" reference values) set up and probed with "tbprobe" against the tables
# in SYZYGY (by default all 200 positions and all 35 three- and four-man
# tables of ../shared/data).
SYZYGY     ?= $(SHARED)/data/syzygy
SYZYGY_EPD ?= $(ENDGAMES)/wdl-dtz-3-4.epd
syzygy-epd: build
	TARNO_SYZYGY_DIR=$(abspath $(SYZYGY)) TARNO_SYZYGY_EPD=$(abspath $(SYZYGY_EPD)) \
	  ./$(BUILD)/tests/shell_tests --gtest_filter=SyzygySession.ReferencePositionsThroughTheEngine

# Syzygy probes per second in searches of endgame positions, with the
# tables of SYZYGY, against the same searches without them.
bench-syzygy: build
	nice -n 10 ./$(BUILD)/bench/syzygy_speed $(SYZYGY)

# Fuzzing with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer;
# Debian: clang, libclang-rt-dev): each harness of FUZZ_TARGETS runs for
# FUZZ_SECONDS, starting from its seeds in tools/fuzz/corpus, and its
# progress is printed every few seconds. What it finds new goes to
# $(FUZZ_BUILD)/corpus, a crash to $(FUZZ_BUILD)/artifacts; the first harness
# that finds something stops the run. Reproduce a crash with
# ./$(FUZZ_BUILD)/fuzz/fuzz_<harness> <file>. A harness's dictionary of
# words (tools/fuzz/<harness>.dict) is used where there is one.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= commands fen epd config pgn book tablebase
FUZZ_FLAGS   ?=
fuzz-build:
	@$(DEPS) build fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@FUZZ_BUILD=$(FUZZ_BUILD) FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_FLAGS="$(FUZZ_FLAGS)" \
	  tools/fuzz/run_harnesses.sh $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
