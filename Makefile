# The two commands a newcomer needs: `make run` and `make test`.
BUILD_DIR ?= build
# `make install` puts the program under $(DESTDIR)$(PREFIX).
PREFIX ?= /usr/local
TEST_BUILD_DIR ?= build-test
BENCH_BUILD_DIR ?= build-bench
JOBS ?= 2

.PHONY: run test build deps package install bench stress format clean

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRENTBOOK_SANITIZE=OFF -DRENTBOOK_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/bin/Rentbook

test: deps
	cmake -S . -B $(TEST_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRENTBOOK_SANITIZE=ON -DRENTBOOK_TESTS=ON
	cmake --build $(TEST_BUILD_DIR) -j $(JOBS)
	cd $(TEST_BUILD_DIR) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

# The Debian package, in $(BUILD_DIR)/; install it with `sudo apt install ./$(BUILD_DIR)/rentbook_*.deb`.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# Under sudo, a tree that its owner built is installed as it stands, so that no file in it
# becomes root's.
install:
	@if [ ! -d $(BUILD_DIR) ] || [ -O $(BUILD_DIR) ]; then $(MAKE) build; fi
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix $(PREFIX) --strip

# The benchmarks of the server ledger run against a throwaway PostgreSQL cluster, started before
# them and removed after them (also when one fails).
bench:
	./scripts/install-deps --bench
	cmake -S . -B $(BENCH_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENTBOOK_SANITIZE=OFF -DRENTBOOK_TESTS=OFF -DRENTBOOK_BENCH=ON
	cmake --build $(BENCH_BUILD_DIR) -j $(JOBS)
	./scripts/with-test-postgres $(BENCH_BUILD_DIR)/test-postgres -- sh -ec '\
		./$(BENCH_BUILD_DIR)/tools/bench/rentbook_bench; \
		./$(BENCH_BUILD_DIR)/tools/bench/tenants_bench; \
		./$(BENCH_BUILD_DIR)/tools/bench/pdf_bench; \
		./$(BENCH_BUILD_DIR)/tools/bench/overview_bench; \
		./$(BENCH_BUILD_DIR)/tools/bench/server_bench; \
		./$(BENCH_BUILD_DIR)/tools/bench/round_bench'

# Saves killed with SIGKILL and two copies saving at once, on a throwaway ledger; then on a server
# ledger clerks killed while saving, the server crashing under three clerks, and connections cut right
# after a commit went out (a cluster of its own).
stress: build
	./$(BUILD_DIR)/bin/rentbook_stress kill 200
	./$(BUILD_DIR)/bin/rentbook_stress copies 100
	./$(BUILD_DIR)/bin/rentbook_stress server 100 10
	./$(BUILD_DIR)/bin/rentbook_stress cut 1700 20

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD_DIR) $(BENCH_BUILD_DIR)
