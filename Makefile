# Front door for the usual tasks; CMake does the real work.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-thread
JOBS       ?= $(shell nproc)

.PHONY: all build test run test-sanitize test-thread perft-full bench clean

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

# The tests that run several search threads, under ThreadSanitizer: every
# value the threads share must be an atomic or lock-guarded access.
test-thread:
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNO_THREAD_SANITIZE=ON >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target search_tests platform_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" TARNO_THREAD_SANITIZED=1 \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R 'Parallel|Threads'

# Every count of the perft reference file, at every depth it lists.
perft-full: build
	./$(BUILD)/bench/perft_suite tests/data/perft.epd

bench: build
	./$(BUILD)/bench/perft_speed

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD)
