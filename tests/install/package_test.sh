#!/usr/bin/env bash
# Builds the Debian package into a scratch directory and checks its control fields and contents.
# Usage: package_test.sh BUILD-DIR SCRATCH-DIR. Exits 77 (skipped) where Debian's package tools
# are missing.
set -uo pipefail
for tool in dpkg dpkg-deb dpkg-shlibdeps lintian; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is missing (on Debian, scripts/deps.sh package installs it)"
        exit 77
    fi
done

build=$1
out=$2
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$out"
mkdir -p "$out"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack -G DEB" >&2
    exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$out/farvane_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$out")" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = farvane ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Section)" = games ] || fail "Section is $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
[ "$(field Maintainer)" = "The Farvane developers <dev@farvane.invalid>" ] || fail "Maintainer is $(field Maintainer)"

# The libraries the program links, the font the painter opens by path and the X11 platform plugin.
depends=$(field Depends)
names=" $(sed -E 's/ \([^)]*\)//g; s/,//g' <<<"$depends") "
for package in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6 fonts-dejavu-core qt6-qpa-plugins; do
    [[ $names == *" $package "* ]] || fail "Depends lacks $package: $depends"
done
grep -Eq 'libqt6widgets6 \(>= 6\.[0-9.]+\)' <<<"$depends" || fail "Depends gives libqt6widgets6 no version: $depends"

description=$(field Description)
[ "$(head -n1 <<<"$description")" != "" ] || fail "the description has no summary"
[ "$(wc -l <<<"$description")" -ge 3 ] || fail "the description has no long text"
if awk 'length > 80 { bad = 1 } END { exit !bad }' <<<"$description"; then
    fail "a description line is wider than 80 columns"
fi

# The same files as the install target, under /usr, the program executable in /usr/games.
app=io.github.farvane.farvane
contents=$(dpkg-deb -c "$deb")
for path in usr/games/farvane usr/share/applications/$app.desktop usr/share/icons/hicolor/scalable/apps/$app.svg \
            usr/share/icons/hicolor/16x16/apps/$app.png usr/share/icons/hicolor/256x256/apps/$app.png \
            usr/share/man/man6/farvane.6.gz usr/share/doc/farvane/copyright usr/share/doc/farvane/changelog.gz; do
    grep -q " \./$path\$" <<<"$contents" || fail "the package lacks /$path"
done
grep -q ' \./usr/local/' <<<"$contents" && fail "the package installs under /usr/local"
grep -Eq '^-rwxr-xr-x root/root .* \./usr/games/farvane$' <<<"$contents" || fail "/usr/games/farvane is not root's, mode 755"

# Debian's own checks: any error or warning fails; the informational tags are shown. (A test
# build lacks the hardening flags scripts/package.sh adds: lintian notes that only as info.)
if ! lintian --fail-on error,warning --display-info "$deb" >"$out/lintian.log" 2>&1; then
    fail "lintian reports errors or warnings:"
    cat "$out/lintian.log" >&2
fi

# Without dpkg-shlibdeps the package would lack its libraries, install, and fail to start: CPack
# must stop with an error and leave no package behind.
noshlibdeps=$out/no-shlibdeps
if cpack -G DEB --config "$build/CPackConfig.cmake" -B "$noshlibdeps" -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF \
        >"$out/no-shlibdeps.log" 2>&1; then
    fail "cpack succeeds without the library dependencies"
fi
grep -q 'Depends lacks libqt6widgets6' "$out/no-shlibdeps.log" || fail "cpack gives no clear reason: $(tail -n 3 "$out/no-shlibdeps.log")"
ls "$noshlibdeps"/*.deb >/dev/null 2>&1 && fail "cpack left a package without its library dependencies"

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "$(basename "$deb") checks out"
