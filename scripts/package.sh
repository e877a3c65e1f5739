#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package the way Debian builds its own: a Release build in build-package/ with
# the hardening flags of dpkg-buildflags, packaged by CPack with the library dependencies from
# dpkg-shlibdeps, then checked by lintian. Installs what it needs (as root, or through sudo).
# Usage: scripts/package.sh        (the package is build-package/farvane_VERSION_ARCH.deb)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh package
build=build-package

# fortify, stack protector, relro, bindnow and PIE: everything Debian's hardening offers.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

# A fresh configuration each time, so flags of an earlier run never linger in the cache.
rm -rf "$build"
# The preset: Release with the optimisation level Debian's flags give (-O2), not CMake's -O3.
cmake --preset package >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)

deb=$build/farvane_$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
    echo "package.sh: cpack made no $deb" >&2
    exit 1
fi
# CPack's own check removes a package without its libraries; this says so once more, plainly.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6; do
    if ! grep -Eq "(^|, )$library \(" <<<"$depends"; then
        rm -f "$deb"
        echo "package.sh: Depends lacks $library ($depends): dpkg-shlibdeps did not run; no package written" >&2
        exit 1
    fi
done

echo "== lintian $deb"
lintian --fail-on error,warning --display-info --pedantic "$deb"
echo "Package: $deb"
echo "Install it with: apt install ./$deb   (as root, or with sudo)"
