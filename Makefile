# Front door for the usual tasks; CMake does the real work.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)

.PHONY: all build test run test-sanitize perft-full bench clean

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

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
