# make        set up what is missing (cached outside the clone) and build into build/dist/
# make run    build, then run the program under Wine with the demo engine
# make test   every test, under Wine
# make installer  build, then the Windows Installer package into dist/ (tools/make_installer.py)
BUILD ?= build
JOBS ?= $(shell nproc)
CACHE ?= /var/cache/ordavia-build

.PHONY: all setup configure build run test installer clean

all: build

setup:
	@ORDAVIA_CACHE=$(CACHE) bash tools/setup.sh >/dev/null

configure: setup
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DORDAVIA_PATHS=$(CACHE)/paths.cmake >/dev/null; fi

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@ORDAVIA_WINEPREFIX=$(abspath $(BUILD))/wineprefix bash tools/run-demo.sh $(BUILD)/dist

test: build
	@status=0; ORDAVIA_WINEPREFIX=$(abspath $(BUILD))/wineprefix \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) || status=$$?; \
	  WINEPREFIX=$(abspath $(BUILD))/wineprefix wineserver -k 2>/dev/null || true; exit $$status

installer: build
	@python3 tools/make_installer.py $(BUILD)

clean:
	rm -rf $(BUILD)
