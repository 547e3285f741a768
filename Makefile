# Entry points for a fresh Debian 12 machine: `make run`, `make test` and `make package`.
# Each installs what is missing, configures and builds first.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)

# ca-certificates: the authorities TLS to a mail server is checked against; a bare system
# (a chroot, a container) has none, and no server could then be trusted.
BUILD_PACKAGES := cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins libgmime-3.0-dev \
	shared-mime-info fonts-dejavu-core libcurl4-openssl-dev libssl-dev qtkeychain-qt6-dev ca-certificates
# The IMAP and SMTP tests and benchmarks start Dovecots of their own (IMAP, and submission
# relaying to LMTP): tests/support/dovecot/install-dovecot.sh installs dovecot-core,
# dovecot-imapd, dovecot-submissiond and dovecot-lmtpd with the system-wide service kept off.
TEST_PACKAGES := libgtest-dev libgmock-dev coreutils openssl python3 dnsmasq-base \
	gnome-keyring dbus-daemon libsecret-1-0 python3-aiosmtpd
BENCH_PACKAGES := time curl openssl
INSTALL_DOVECOT := tests/support/dovecot/install-dovecot.sh
# Cyrus and Courier run from Debian's packages unpacked into a cache (~/.cache/ferrymail/
# test-servers, /var/cache/ferrymail/test-servers for root): their packages conflict with
# Dovecot's. Their libraries come from apt.
UNPACK_SERVER := tests/support/unpack-test-server.sh
# Building the .deb (dpkg-dev, file), checking it (lintian, appstream, desktop-file-utils,
# man-db) and the install test's window under a virtual display (xvfb, xauth, x11-utils).
PACKAGE_PACKAGES := dpkg-dev file lintian appstream desktop-file-utils man-db xvfb xauth \
	x11-utils
# tests/package/fresh-machine-test.sh builds a bare Debian 12 chroot to install into.
PACKAGE_TEST_PACKAGES := mmdebstrap

# The package gets a build folder of its own, without tests, compiled with Debian's flags.
PACKAGE_BUILD_DIR ?= build-package
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps test-deps configure build run test test-sanitize test-tsan bench install package \
	package-test chroot-test clean format

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
	$(INSTALL_DOVECOT)
	$(UNPACK_SERVER) cyrus cyrus-common cyrus-imapd
	$(UNPACK_SERVER) courier courier-imap courier-base courier-authlib

# Only what building and running need: `make run` installs no server. The tests are built
# when GoogleTest is there, which test-deps sees to before `make test` configures.
configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/ferrymail

# A case that finds the machine without what it needs (user namespaces in a container, say)
# is skipped, not failed; the run ends by saying how many were skipped and why.
SKIPPED_TESTS := tests/support/skipped-tests.sh

test: test-deps
	$(MAKE) build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS); status=$$?; \
		$(CURDIR)/$(SKIPPED_TESTS) .; exit $$status

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer in a
# folder of its own. Every report, leaks included, ends the process with an error, so it fails
# its test.
SANITIZE_DIR ?= build-sanitize
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
# tests/lsan.supp names only OpenSSL's per-thread state of pool threads alive at exit.
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp

test-sanitize: test-deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS="-O1 $(SANITIZE_FLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" \
		-DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE_FLAGS)"
	$(SANITIZE_ENV) cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS); status=$$?; \
		$(CURDIR)/$(SKIPPED_TESTS) .; exit $$status

# The threaded tests once more, built with ThreadSanitizer in a folder of their own: the Send
# on its worker, the writer's blocks, the hash of a message's files, progress, cancel, the
# windows that wait on workers, the keyring driven from other threads, and the hand-overs
# themselves. Qt, GLib and D-Bus are not instrumented, so what they do inside is left
# unchecked (ignore_noninstrumented_modules); Ferrymail's hand-overs go through locks the
# checker sees. The tests start servers and children with fork, so a forked child may go on
# (die_after_fork=0). tests/tsan.supp suppresses nothing.
TSAN_DIR ?= build-tsan
TSAN_FLAGS := -fsanitize=thread -fno-omit-frame-pointer
TSAN_TARGETS := test_common test_batch test_mailbridge test_app test_oauth_keyring test_oauth_window test_servers_left
# A ctest pattern: kept free of spaces, which a continued line would put in.
TSAN_TESTS := BackgroundSend|BatchSender|RealFilesSend|BlockWriter|SendProgress|HashingThread|ManifestTest
TSAN_TESTS := $(TSAN_TESTS)|frmMainLongSend|frmAccount|frmMainAccount|EndToEnd|RealKeyring|SignInWindow
TSAN_TESTS := $(TSAN_TESTS)|SendController|frmMainSendRest|frmMainOutboxLimit
TSAN_TESTS := $(TSAN_TESTS)|ReviewedSendController|frmMainReviewedSend|ThreadHandOver
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=$(CURDIR)/tests/tsan.supp

test-tsan: test-deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS="-O1 $(TSAN_FLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(TSAN_FLAGS)" \
		-DCMAKE_SHARED_LINKER_FLAGS="$(TSAN_FLAGS)"
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_DIR) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'; \
		status=$$?; $(CURDIR)/$(SKIPPED_TESTS) .; exit $$status

bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	$(INSTALL_DOVECOT)
	bench/run-all.sh $(BUILD_DIR)

install: build
	cmake --install $(BUILD_DIR)

package: deps
	$(call install_missing,$(PACKAGE_PACKAGES))
	cmake -S . -B $(PACKAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
		-DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS) --target ferrymail ferrymail_gzipped
	cd $(PACKAGE_BUILD_DIR) && cpack

# Installs the package for real and removes it again, here and on a fresh chroot: root only,
# and never part of `make test`.
package-test: package
	$(call install_missing,$(PACKAGE_TEST_PACKAGES))
	$(SUDO) tests/package/install-test.sh
	$(SUDO) tests/package/fresh-machine-test.sh

# `make test` from a clean clone in a fresh minbase Debian 12 chroot: root only, slow, and
# never part of `make test`.
chroot-test:
	$(call install_missing,$(PACKAGE_TEST_PACKAGES))
	$(SUDO) tests/package/chroot-make-test.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(PACKAGE_BUILD_DIR)
