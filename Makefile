# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= default
BUILD_DIR := build/$(PRESET)

.PHONY: run test deps build clean

deps:
	@bash cmake/ensure-deps.sh $(PRESET)

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET)

run: build
	bash cmake/run-with-simulator.sh $(BUILD_DIR)

test: build
	ctest --preset $(PRESET)

clean:
	rm -rf build
