# Front door of the build: `make run` and `make test` install what is missing, build and go.
BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need.
DEPS := cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libsdl2-dev libvorbis-dev \
        fonts-liberation libsndfile1-dev libsoxr-dev libebur128-dev libespeak-ng-dev espeak-ng-data \
        fusefat dosfstools

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
STAMP := $(BUILD_DIR)/.configured

# Installs those of the given Debian packages that are not installed yet.
define install_missing
missing=""; for p in $(1); do \
    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
done; \
if [ -n "$$missing" ]; then \
    echo "Installing:$$missing"; \
    $(SUDO) apt-get update -qq && \
    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
fi
endef

# Packaging: the .deb's dependency list (dpkg-shlibdeps, file) and the tools that check it.
DEPS_PACKAGE := dpkg-dev file lintian desktop-file-utils appstream bash-completion

# Extra packages of the hardening targets (sanitizer runtimes, fuzzers, benchmarks).
DEPS_EXTRA := clang libclang-rt-14-dev llvm time
# The benchmarks also compare with oggenc and play through a PulseAudio server of their own.
DEPS_BENCH := vorbis-tools pulseaudio pulseaudio-utils

.PHONY: all deps deps-extra deps-bench deps-package build run test check-sanitize fuzz bench package \
        check-package clean distclean format

all: build

deps:
	@$(call install_missing,$(DEPS))

deps-extra: deps
	@$(call install_missing,$(DEPS_EXTRA))

deps-bench: deps-extra
	@$(call install_missing,$(DEPS_BENCH))

deps-package: deps
	@$(call install_missing,$(DEPS_PACKAGE))

$(STAMP): CMakeLists.txt | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	@touch $@

build: deps $(STAMP)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/bin/tollvik-alerts

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the audio and preview
# tests under ThreadSanitizer, each in a build folder of its own.
check-sanitize: deps-extra
	scripts/check-sanitize.sh

# Each libFuzzer harness for FUZZ_SECONDS (default 60).
fuzz: deps-extra
	scripts/fuzz.sh

# Benchmarks, printed as ratios with their targets.
bench: deps-bench
	scripts/bench.sh

# With CPack: the relocatable program folder as a .tar.gz and the installed tree as a .deb,
# each checked (the .deb by lintian, desktop-file-validate and appstreamcli).
package: build deps-package
	scripts/package.sh

# Installs the .deb with apt-get, uses the installed programs, removes it (root or sudo).
check-package: package
	scripts/check-deb.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	-cmake --build $(BUILD_DIR) --target clean

distclean:
	rm -rf $(BUILD_DIR)
