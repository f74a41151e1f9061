# OcuViewer: everything a fresh Debian 12 machine needs, in two commands (see README.md).
#   make run    install what is missing, build, start the viewer
#   make test   install what is missing, build, run the whole test suite headless
#   make bench  install what is missing, build, run the benchmarks and the quality tool
#   make install PREFIX=/usr/local   build and install the programs, launcher, icons, metainfo and manual pages
#   make deb    build the Debian package and its debug symbols into build/deb (CPack), and lintian them
#   make screenshot  remake the README's screenshot of the live viewer (headless, under Xvfb)
#   make fuzz   build the fuzzers with clang and run each for FUZZ_SECONDS (default 60)
#   make corpus remake tests/data/corpus, the crafted image files the tests and the fuzzers read

BUILD      ?= build
BUILD_TSAN ?= build-tsan
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= 2
PREFIX     ?= /usr/local

# Debian packages the build, the tests and the viewer need.
# libusb-1.0-0-dev: Debian 12's aravis-0.8.pc requires it, but libaravis-dev does not depend on it.
# aravis-tools: the GigE Vision camera simulator (arv-fake-gv-camera-0.8) the GigE tests stream from.
# libav*-dev, libswscale-dev: FFmpeg's libraries, for the recordings' video files; ffmpeg: ffprobe, with
# which the recording tool's test checks that a standard player takes them.
PACKAGES := build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libxcb1-dev \
            libgtest-dev libgmock-dev libbenchmark-dev libturbojpeg0-dev fonts-noto-cjk \
            qt6-svg-dev desktop-file-utils appstream xvfb openbox i3-wm xdotool x11-utils x11-apps \
            libaravis-dev libusb-1.0-0-dev aravis-tools-cli aravis-tools \
            libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
# Only the measurements use these: OpenCV is the yardstick the raw-image benchmarks compare against;
# GStreamer's bayer2rgb pipeline the one the live viewer is measured against (on the virtual display of
# PACKAGES).
BENCH_PACKAGES := libopencv-imgproc-dev libopencv-imgcodecs-dev gstreamer1.0-tools gstreamer1.0-plugins-base \
                  gstreamer1.0-plugins-bad gstreamer1.0-x
# The tests on a real X server need a virtual display, a window manager and tools to look at windows and
# press keys (in PACKAGES); the README's screenshot also needs a capture.
SCREENSHOT_PACKAGES := imagemagick
# Only the fuzzers use these: clang with libFuzzer and its sanitizer runtimes.
FUZZ_PACKAGES := clang libclang-rt-14-dev
# Only the corpus generator uses this: libjpeg's own interface, for progressive files of many scans.
CORPUS_PACKAGES := libjpeg62-turbo-dev
# The Debian package (make deb, and the test deb-package): dpkg-shlibdeps (dpkg-dev) for its dependencies,
# file for CPack, lintian to check it.
PACKAGES += dpkg-dev file lintian

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
CMAKE_FLAGS := -G Ninja -DOCU_WERROR=ON

.PHONY: all deps bench-deps screenshot-deps fuzz-deps corpus-deps configure build run test test-tsan test-asan \
        bench screenshot fuzz corpus install deb clean

all: build

define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing Debian packages:" $$missing; \
	    $(SUDO) apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

bench-deps: deps
	$(call install_missing,$(BENCH_PACKAGES))

screenshot-deps: deps
	$(call install_missing,$(SCREENSHOT_PACKAGES))

fuzz-deps: deps
	$(call install_missing,$(FUZZ_PACKAGES))

corpus-deps: deps
	$(call install_missing,$(CORPUS_PACKAGES))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/src/ocuviewer

# DESTDIR, when set, is put before PREFIX (staged installs for packaging).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, made by CPack from the build tree (packaging/), and its debug symbols; lintian
# must find neither errors nor warnings.
deb: build
	rm -rf $(BUILD)/deb
	cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/deb
	lintian --fail-on error,warning $(BUILD)/deb/*.deb
	@ls -l $(BUILD)/deb/*.deb

# The threading tests (the driver's delivery, the raw-image library's pool) once more under
# ThreadSanitizer (libraries only, no Qt needed).
# setarch -R: gcc 12's ThreadSanitizer cannot map its shadow memory with the newer kernels'
# address-space randomisation.
test-tsan: deps
	@[ -f $(BUILD_TSAN)/build.ninja ] || cmake -S . -B $(BUILD_TSAN) $(CMAKE_FLAGS) \
	    -DOCU_SANITIZE=thread -DOCU_BUILD_APP=OFF -DOCU_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 setarch $$(uname -m) -R \
	    ctest -L threading --output-on-failure -j $(JOBS)

# The image files' tests once more under AddressSanitizer and UndefinedBehaviorSanitizer: every crafted
# file of tests/data through the viewer's Open command, through ocuimage and through the readers, and the
# JPEG and file-writing libraries' own tests. Only the targets these tests need are built.
ASAN_TARGETS := viewer-file-tests viewer-logic-tests ocuimage-tests ocuutil-tests ocufile-tests
ASAN_TESTS := ^(ImageFiles|Interop|FileCommands|FileCommandsRecorded|Ocuimage|Jpeg|FileWriter)\.
test-asan: deps
	@[ -f $(BUILD_ASAN)/build.ninja ] || cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) \
	    -DOCU_SANITIZE=address -DOCU_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target $(ASAN_TARGETS)
	cd $(BUILD_ASAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest -R '$(ASAN_TESTS)' --output-on-failure -j $(JOBS)

# The full suite comes last, so that the output ends in its summary.
test: build test-tsan test-asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The readers of BMP, raw and JPEG files and of the settings file under libFuzzer, each for FUZZ_SECONDS,
# seeded with tests/data; tools/fuzz.sh reports what each did. Not part of `make test`.
fuzz: fuzz-deps
	@[ -f $(BUILD_FUZZ)/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja \
	    -DOCU_SANITIZE=fuzzer -DOCU_BUILD_FUZZERS=ON -DOCU_BUILD_APP=OFF -DOCU_BUILD_TESTS=OFF \
	    -DOCU_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz-bmp fuzz-raw fuzz-jpeg fuzz-settings
	tools/fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

corpus: corpus-deps
	tests/data/make-corpus.sh

bench: bench-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	@[ ! -x tools/bench.sh ] || tools/bench.sh $(BUILD)

# Remakes docs/live-view.png, the live viewer as the README shows it.
screenshot: screenshot-deps build
	tools/screenshot.sh $(BUILD) docs/live-view.png

clean:
	rm -rf $(BUILD) $(BUILD_TSAN) $(BUILD_ASAN) $(BUILD_FUZZ)
