#!/bin/bash
# Packs the program of a build tree as a Debian package with the project's CPack set-up, checks
# the package's metadata and files, unpacks it into a throw-away root and runs the program from
# there. Exit status 77 tells CTest the test was skipped, with the reason printed.
#
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

command -v dpkg >/dev/null || skip "not a Debian system (no dpkg)"
for tool in cpack dpkg-deb dpkg-shlibdeps file readelf desktop-file-validate; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (make test installs it)"
done
[ -x "$build/zalvik-race" ] || fail "the program has not been built in $build"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- build the package --------------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fail "cpack did not build the package"
fi
arch=$(dpkg --print-architecture)
deb="$work/out/zalvik-race_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"

# --- metadata -----------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zalvik-race ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
depends_on() { printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (:].*//' | grep -qx "$1"; }
depends_on fonts-noto-cjk || fail "Depends lacks fonts-noto-cjk: $depends"
depends_on qt6-translations-l10n || fail "Depends lacks qt6-translations-l10n: $depends"

# Every shared library the program names must come from a package the package depends on, or
# the program would not start where that package happens to be missing.
libraries=$(readelf -d "$build/zalvik-race" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$libraries" ] || fail "readelf found no libraries in the program"
for lib in $libraries; do
    # The file the loader picks, and the package dpkg records it under (with a merged /usr it
    # may be recorded under either name).
    path=$(ldd "$build/zalvik-race" | awk -v lib="$lib" '$1 == lib {print $3}')
    [ -n "$path" ] || fail "the loader does not find $lib"
    owner=$({ dpkg -S "$path" || dpkg -S "/usr$path" || dpkg -S "$(realpath "$path")"; } 2>/dev/null |
        head -n1 | cut -d: -f1) || true
    [ -n "$owner" ] || fail "no installed package holds $path"
    depends_on "$owner" || fail "$lib comes from $owner, which Depends lacks: $depends"
done

# --- files --------------------------------------------------------------------------------
expected="./usr/bin/zalvik-judge-sim
./usr/bin/zalvik-race
./usr/bin/zalvik-timer-sim
./usr/share/applications/zalvik-race.desktop
./usr/share/icons/hicolor/128x128/apps/zalvik-race.png
./usr/share/icons/hicolor/16x16/apps/zalvik-race.png
./usr/share/icons/hicolor/22x22/apps/zalvik-race.png
./usr/share/icons/hicolor/24x24/apps/zalvik-race.png
./usr/share/icons/hicolor/256x256/apps/zalvik-race.png
./usr/share/icons/hicolor/32x32/apps/zalvik-race.png
./usr/share/icons/hicolor/48x48/apps/zalvik-race.png
./usr/share/icons/hicolor/64x64/apps/zalvik-race.png
./usr/share/icons/hicolor/scalable/apps/zalvik-race.svg
./usr/share/man/man1/zalvik-race.1.gz
./usr/share/zalvik-race/example.xlsx
./usr/share/zalvik-race/timer-alge.txt
./usr/share/zalvik-race/timer-tagheuer.txt"
listing=$(dpkg-deb -c "$deb")
files=$(printf '%s\n' "$listing" | awk '$1 !~ /^d/ {print $6}' | sort)
if [ "$files" != "$(printf '%s\n' "$expected" | sort)" ]; then
    diff <(printf '%s\n' "$expected" | sort) <(printf '%s\n' "$files") || true
    fail "the package's files differ from the list above (< expected, > packed)"
fi
printf '%s\n' "$listing" | awk '$2 != "root/root" {bad=1; print} END {exit bad}' ||
    fail "files not owned by root"
printf '%s\n' "$listing" | grep -q '^-rwxr-xr-x .* ./usr/bin/zalvik-race$' ||
    fail "the program is not installed executable by everyone"

# --- unpacked -----------------------------------------------------------------------------
root="$work/root"
dpkg-deb -x "$deb" "$root"
program="$root/usr/bin/zalvik-race"
file -b "$program" | grep -q ', stripped' || fail "the packed program is not stripped"

desktop="$root/usr/share/applications/zalvik-race.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = "ザルヴィクレース処理" ] || fail "menu name is '$(entry Name)'"
[ -x "$root/usr/bin/$(entry Exec)" ] || fail "Exec=$(entry Exec) is not a packed program"
[ "$(entry Icon)" = zalvik-race ] || fail "Icon=$(entry Icon) names no packed icon"
for png in "$root"/usr/share/icons/hicolor/*/apps/zalvik-race.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file -b "$png" | grep -q "PNG image data, ${size%x*} x ${size#*x}," ||
        fail "icon in $size is $(file -b "$png")"
done

cmp -s "$root/usr/share/zalvik-race/example.xlsx" "$source/examples/example.xlsx" ||
    fail "the packed example workbook is not examples/example.xlsx"
man=$(gzip -dc "$root/usr/share/man/man1/zalvik-race.1.gz")
printf '%s\n' "$man" | grep -q "^\.TH ZALVIK-RACE 1 .*zalvik-race $version" ||
    fail "the man page does not carry the version $version"
printf '%s\n' "$man" | grep -q '@' && fail "the man page has an unfilled placeholder"

# The unpacked program, with no display and nothing of this shell's environment: it answers
# from before Qt starts.
out=$(env -i PATH=/usr/bin:/bin timeout 20 "$program" --version) ||
    fail "zalvik-race --version failed (status $?)"
[ "$out" = "zalvik-race $version" ] || fail "zalvik-race --version printed '$out'"

# The unpacked simulators, beside the program, answer for themselves, every option in Japanese.
for sim in zalvik-timer-sim zalvik-judge-sim; do
    help=$(env -i PATH=/usr/bin:/bin timeout 20 "$root/usr/bin/$sim" --help)
    printf '%s\n' "$help" | grep -q "^使い方: $sim" || fail "$sim: no usage"
    for option in $(printf '%s\n' "$help" | sed -n 's/^  \(--[a-z-]*\).*/\1/p'); do
        printf '%s\n' "$help" | grep -- "^  $option" | LC_ALL=C grep -q '[^ -~]' ||
            fail "$sim --help does not explain $option in Japanese"
    done
done
for option in --pty --serial --tcp --rate --baud --ending --exit-when-done --help; do
    env -i PATH=/usr/bin:/bin timeout 20 "$root/usr/bin/zalvik-timer-sim" --help | grep -q -- "^  $option" ||
        fail "zalvik-timer-sim --help does not list $option"
done

# The unpacked program starts its screens (headless) and is still running when stopped.
status=0
env -i PATH=/usr/bin:/bin HOME="$work" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    timeout 3 "$program" >"$work/run.log" 2>&1 || status=$?
if [ "$status" != 124 ]; then
    cat "$work/run.log"
    fail "the unpacked program ended by itself (status $status) instead of showing its start screen"
fi

# apt resolves the dependencies the way `apt install ./….deb` would, without installing.
if command -v apt-get >/dev/null; then
    apt-get install -s -q "$deb" >"$work/apt.log" 2>&1 || {
        cat "$work/apt.log"
        fail "apt cannot install the package"
    }
fi
echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes, checked"
