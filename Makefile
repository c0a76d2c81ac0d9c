# make            set up what is missing (cached outside the clone) and build both flavours:
#                 build/dist/ (32-bit product) and build64/dist/ (64-bit edition)
# make run        build, then run the program under Wine with the demo engine (32-bit where
#                 this machine can run it, else 64-bit)
# make test       every test under Wine, for each flavour this machine can run
# make installer  build, then each flavour's Windows Installer package into its dist/:
#                 build/dist/OrdaviaStudio-<version>-x86.msi, build64/dist/...-x64.msi
# make portable   build, then each flavour's portable edition into its dist/:
#                 build/dist/OrdaviaStudio-<version>-portable-x86.zip, build64/dist/...-x64.zip
# make fuzz       the native fuzz targets (clang-14, sanitizers, libFuzzer) in build-fuzz/, each
#                 run FUZZ_SECONDS (default 60), two at a time; crashes go to fuzz/reproducers/
# FLAVOURS="64"   limits any of these to one flavour; BUILD=dir moves both build folders
BUILD ?= build
BUILD64 ?= $(BUILD)64
FLAVOURS ?= 32 64
JOBS ?= $(shell nproc)
CACHE ?= /var/cache/ordavia-build

dir_32 := $(BUILD)
dir_64 := $(BUILD64)
cpu_32 := i686
cpu_64 := x86_64

export ORDAVIA_CACHE := $(CACHE)
export JOBS

.PHONY: all setup configure build run test installer portable fuzz clean

all: build

setup:
	@bash tools/setup.sh >/dev/null

configure: setup
	@for f in $(FLAVOURS); do \
	  case $$f in 32) dir=$(dir_32); cpu=$(cpu_32);; 64) dir=$(dir_64); cpu=$(cpu_64);; \
	    *) echo "unknown flavour $$f" >&2; exit 2;; esac; \
	  if [ ! -f $$dir/CMakeCache.txt ]; then \
	    cmake -S . -B $$dir -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$cpu.cmake -DCMAKE_BUILD_TYPE=Release \
	      -DORDAVIA_PATHS=$(CACHE)/paths-$$cpu.cmake >/dev/null || exit $$?; fi; \
	done

build: configure
	@for f in $(FLAVOURS); do \
	  case $$f in 32) dir=$(dir_32);; 64) dir=$(dir_64);; esac; \
	  cmake --build $$dir -j $(JOBS) -- --no-print-directory || exit $$?; \
	done

run: build
	@bash tools/run-demo.sh "$(FLAVOURS)" $(dir_32) $(dir_64)

test: build
	@bash tools/test.sh "$(FLAVOURS)" $(dir_32) $(dir_64)

installer: build
	@for f in $(FLAVOURS); do \
	  case $$f in 32) dir=$(dir_32);; 64) dir=$(dir_64);; esac; \
	  python3 tools/make_installer.py $$dir || exit $$?; \
	done

portable: build
	@for f in $(FLAVOURS); do \
	  case $$f in 32) dir=$(dir_32);; 64) dir=$(dir_64);; esac; \
	  python3 tools/make_portable.py $$dir || exit $$?; \
	done

fuzz: setup
	@bash tools/fuzz.sh run

clean:
	rm -rf $(dir_32) $(dir_64)
