# Two commands for a new machine:
#   make run   install what is missing, build, start Dralvo against the simulator
#   make test  install what is missing, build, check the sources
#              (scripts/check-source.sh), run every test through CTest
#   make sanitize  the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer
#                  (build-sanitize), and the thread tests under ThreadSanitizer
#   make fuzz     the fuzz targets, each mutating its seeds for FUZZ_SECONDS
#                 (scripts/fuzz.sh; a failing input is kept as a new seed)
#   make package  the Debian package (see README, "Installing")
BUILD ?= build
CMAKE_FLAGS ?=
SANITIZE_BUILD ?= build-sanitize
FUZZ_SECONDS ?= 30

.PHONY: all deps configure build run test sanitize fuzz package clean format

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

# Only what the demo runs (the program, the simulator, the message tool and the
# alarm sound); the tests are built by "make test".
run: configure
	cmake --build $(BUILD) --target dralvo gsmsim dralvo-msg beep_wav
	scripts/run-demo.sh $(BUILD)

# The source rules first (no system call outside platform/, formatting), then
# every test.
test: build
	scripts/check-source.sh
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j2 --timeout 300

# The Debian package, dralvo_<version>_<arch>.deb in the build folder.
package: configure
	cmake --build $(BUILD) --target dralvo gsmsim dralvo-msg beep_wav install_data
	cd $(BUILD) && cpack -G DEB

sanitize: deps
	scripts/sanitize.sh $(SANITIZE_BUILD)

fuzz: deps
	scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
