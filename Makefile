# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
# Both install what is missing, configure and build first.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)

BUILD_PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins libgmime-3.0-dev \
	shared-mime-info fonts-dejavu-core
TEST_PACKAGES := libgtest-dev libgmock-dev coreutils
BENCH_PACKAGES := time

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps test-deps configure build run test test-sanitize bench install clean format

all: build

# Installs only what dpkg does not already report as installed.
define install_missing
	@missing=""; for p in $(1); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(BUILD_PACKAGES))

test-deps: deps
	$(call install_missing,$(TEST_PACKAGES))

configure: test-deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/ferrymail

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer in a
# folder of its own. Every report, leaks included, ends the process with an error, so it fails
# its test.
SANITIZE_DIR ?= build-sanitize
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

test-sanitize: test-deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS="-O1 $(SANITIZE_FLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" \
		-DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	$(SANITIZE_ENV) cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	bench/run-all.sh $(BUILD_DIR)

install: build
	cmake --install $(BUILD_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
