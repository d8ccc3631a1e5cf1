# A thin front over the CMake presets. Newcomers need two targets: demo and test.
PRESETS := native native-tsan fuzz mingw-i686 mingw-x86_64
# The Wine prefixes of a mingw preset's tests: one shared; the subscription's, where the test
# WMI provider is WMI; the template that the tests of the service host copy for each case.
wine_prefixes = $(addprefix build/$(1)/,wineprefix wineprefix-wmi wineprefix-template)

.PHONY: all setup build demo demo-interactive package test fuzz soak soak-i686 clean \
        $(addprefix build-,$(PRESETS)) test-native test-native-tsan test-fuzz test-mingw-i686 \
        test-mingw-x86_64

all: build

setup:
	@tools/setup.sh

build: $(addprefix build-,$(PRESETS))

$(addprefix build-,$(PRESETS)): build-%: setup
	cmake --preset $* >/dev/null
	cmake --build --preset $*

# The shipped installer package (the x86_64 preset makes Pivotra-x64.msi, which the tests install).
# Signed when given a PKCS#12 file and the file holding its password: SIGN_PKCS12=...
# SIGN_PASSWORD_FILE=..., and SIGN_TIMESTAMP=<RFC 3161 server> for a timestamp; without them,
# unsigned, and the build says so.
sign_path = $(if $(1),$(abspath $(1)))
package: setup
	cmake --preset mingw-i686 -D PIVOTRA_SIGN_PKCS12=$(call sign_path,$(SIGN_PKCS12)) \
	  -D PIVOTRA_SIGN_PASSWORD_FILE=$(call sign_path,$(SIGN_PASSWORD_FILE)) \
	  -D PIVOTRA_SIGN_TIMESTAMP=$(SIGN_TIMESTAMP) >/dev/null
	cmake --build --preset mingw-i686 --target pivotra_package
	@echo "package: build/mingw-i686/Pivotra.msi"

# Every test of every preset. The fuzz targets run 20 s each here.
test: test-native test-native-tsan test-fuzz test-mingw-i686 test-mingw-x86_64

test-native test-native-tsan test-fuzz: test-%: build-%
	ctest --preset $*

# Each fuzz target for a minute.
fuzz: build-fuzz
	PIVOTRA_FUZZ_SECONDS=60 ctest --preset fuzz

# The soak benchmark: two bursts of 10,000 events, with the figures (about ten minutes); soak-i686
# soaks the shipped 32-bit build under 32-bit Wine (much longer: qemu runs it).
soak: build-mingw-x86_64
	bench/soak build/mingw-x86_64

soak-i686: build-mingw-i686
	tools/i386-namespace bench/soak build/mingw-i686

# The 32-bit build's tests run under 32-bit Wine through tools/i386-namespace: where that cannot
# work, its check says why once and the target fails.
test-mingw-i686 test-mingw-x86_64: test-%: build-%
	$(if $(filter mingw-i686,$*),tools/i386-namespace --check)
	for p in $(call wine_prefixes,$*); do tools/wine-prefix fresh $$p; done
	ctest --preset $*; status=$$?; \
	  for p in $(call wine_prefixes,$*); do tools/wine-prefix stop $$p; done; exit $$status

# The service at work in a throw-away Wine prefix, the test WMI provider as its G-sensor.
demo: build-mingw-x86_64
	tools/demo build/mingw-x86_64

# The same, with the orientations typed in: up, down, left, right, quit.
demo-interactive: build-mingw-x86_64
	tools/demo build/mingw-x86_64 --interactive

clean:
	for p in build/*/wineprefix*; do [ -d "$$p" ] && tools/wine-prefix stop "$$p"; done; true
	rm -rf build
