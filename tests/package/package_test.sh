#!/usr/bin/env bash
# Checks the Debian package: lintian finds no error and no warning; unpacked into a scratch
# root, the stripped programs in /usr/bin, the default config.ini as a conffile in
# /etc/kv-cloudscope, the README, copyright, changelog and manual pages, the .desktop entry and
# its icon, dependencies found by dpkg-shlibdeps, and the unpacked programs themselves.
#   package_test.sh BUILD_DIR PROGRAM...
# Builds the package first when there is none or it is older than the programs.
set -uo pipefail
build=$1
shift
programs=("$@")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for tool in dpkg-deb desktop-file-validate cpack lintian; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

newest_deb() { ls -t "$build"/package/kv-cloudscope_*.deb 2>/dev/null | head -n 1; }
deb=$(newest_deb)
stale=0
[ -n "$deb" ] || stale=1
for p in "${programs[@]}"; do [ -n "$deb" ] && [ "$build/bin/$p" -nt "$deb" ] && stale=1; done
if [ $stale -eq 1 ]; then
    (cd "$build" && cpack -G DEB >/dev/null) || { echo "FAIL: cpack could not build the package" >&2; exit 1; }
    deb=$(newest_deb)
fi
[ -n "$deb" ] || { echo "FAIL: no package in $build/package" >&2; exit 1; }
echo "package: $deb"

root=$(mktemp -d)
scratch=$(mktemp -d)
trap 'rm -rf "$root" "$scratch"' EXIT
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb" >&2; exit 1; }
bin=$root/usr/bin

# lintian: no error, no warning (informational tags are printed, not failed on).
lintian_out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1)
lintian_rc=$?
echo "$lintian_out" | grep -v "running with root privileges" | sed 's/^/lintian: /'
[ $lintian_rc -eq 0 ] || fail "lintian reports errors or warnings (exit status $lintian_rc)"
echo "$lintian_out" | grep -q "^[EW]: " && fail "lintian: $(echo "$lintian_out" | grep -c '^[EW]: ') errors and warnings"

# Every program in /usr/bin, a stripped executable with a gzipped manual page that names it.
for p in "${programs[@]}"; do
    if [ -x "$bin/$p" ] && [ -f "$bin/$p" ] && [ ! -L "$bin/$p" ]; then
        file -b "$bin/$p" | grep -q ", stripped" || fail "$p is not stripped: $(file -b "$bin/$p")"
        # Every library the program needs is on this machine, where the package's dependencies are installed.
        if ldd "$bin/$p" | grep -q "not found"; then fail "$p needs libraries that are not found: $(ldd "$bin/$p" | grep 'not found' | tr -s ' \t' ' ')"; fi
    else
        fail "$p is not an executable file in /usr/bin"
    fi
    man=$root/usr/share/man/man1/$p.1.gz
    if [ -f "$man" ]; then
        gzip -dc "$man" | grep -A1 -x '\.SH NAME' | grep -qF "$p \\- " || fail "the manual page of $p has no NAME line for it"
    else
        fail "no manual page $p.1.gz"
    fi
done
# Nothing else hides in /usr/bin, and nothing is installed outside /etc and /usr.
for f in "$root"/usr/bin/*; do
    n=$(basename "$f")
    printf '%s\n' "${programs[@]}" | grep -qx "$n" || fail "unexpected /usr/bin/$n"
done
for d in "$root"/*; do
    case $(basename "$d") in etc|usr) ;; *) fail "the package installs /$(basename "$d")" ;; esac
done

# The default configuration in /etc/kv-cloudscope, a conffile, as the viewer reads it.
ini=$root/etc/kv-cloudscope/config.ini
if [ -f "$ini" ]; then
    [ "$(head -n 1 "$ini")" = "[Config]" ] || fail "config.ini does not start with [Config]"
    for kv in LidarLineType=1 HPandT=2.5 showPLSAngle=false AngleShowValue=-1 isProductionUsed=false LineShowNumber=1; do
        grep -qx "$kv" "$ini" || fail "config.ini lacks $kv"
    done
    [ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null)" = "/etc/kv-cloudscope/config.ini" ] ||
        fail "/etc/kv-cloudscope/config.ini is not the one conffile: an upgrade would overwrite the user's settings"
else
    fail "no /etc/kv-cloudscope/config.ini"
fi

# The README the window's project link opens, the copyright and the changelog of this version.
[ -f "$root/usr/share/kv-cloudscope/README.md" ] || fail "no /usr/share/kv-cloudscope/README.md"
doc=$root/usr/share/doc/kv-cloudscope
head -n 1 "$doc/copyright" 2>/dev/null | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
    fail "no machine-readable copyright file"
version=$(dpkg-deb -f "$deb" Version)
[ "$(gzip -dc "$doc/changelog.gz" 2>/dev/null | head -n 1 | cut -d' ' -f1-2)" = "kv-cloudscope ($version)" ] ||
    fail "changelog.gz does not start with kv-cloudscope ($version)"
dpkg-deb -f "$deb" Maintainer | grep -Eq '^[^<]+ <[^@ ]+@[^@ ]+\.[a-z]+>$' || fail "maintainer field: $(dpkg-deb -f "$deb" Maintainer)"

# The desktop entry: valid, starting the linked viewer, with an icon at every hicolor size.
desktop=$root/usr/share/applications/kv-cloudscope.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the .desktop entry"
    exec_cmd=$(sed -n 's/^Exec=//p' "$desktop" | cut -d' ' -f1)
    # "Open with" from a file manager: the entry takes a file and names the capture types.
    grep -q '^Exec=.* %f$' "$desktop" || fail "the .desktop entry takes no file (%f)"
    grep -q '^MimeType=.*application/vnd.tcpdump.pcap' "$desktop" || fail "the .desktop entry declares no capture MIME type"
    [ -x "$root/usr/bin/$exec_cmd" ] || fail "the .desktop entry runs $exec_cmd, which is not in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    svg=$root/usr/share/icons/hicolor/scalable/apps/$icon.svg
    file -b "$svg" 2>/dev/null | grep -q "SVG" || fail "no scalable icon $icon.svg"
    for s in 16 22 24 32 48 64 128 256; do
        png=$root/usr/share/icons/hicolor/${s}x${s}/apps/$icon.png
        if [ -f "$png" ]; then
            file "$png" | grep -q "PNG image data, $s x $s" || fail "$png is not a $s px PNG: $(file -b "$png")"
        else
            fail "no $s px icon $icon.png"
        fi
    done
else
    fail "no .desktop entry"
fi

# Dependencies from dpkg-shlibdeps: the libraries the programs are linked against.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt5widgets5 libpcap0.8 libpcl-common; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done

# The unpacked programs run.
if [ -x "$bin/kv-sensor-sim" ]; then
    out=$("$bin/kv-sensor-sim" --help 2>&1) || fail "kv-sensor-sim --help failed"
    echo "$out" | grep -q "^Usage: kv-sensor-sim" || fail "kv-sensor-sim --help says: $out"
fi
if printf '%s\n' "${programs[@]}" | grep -qx kv-export; then
    out=$("$bin/kv-export" --help 2>&1) || fail "kv-export --help failed"
    echo "$out" | grep -qi "usage" || fail "kv-export --help says: $out"
fi

# The Python module: in the system's module path, importable from there with the system's
# numpy, reading a capture the unpacked simulated sensor writes.
pkg=$root/usr/lib/python3/dist-packages/kvcloudscope
if [ -d "$pkg" ]; then
    dpkg-deb -f "$deb" Depends | grep -q "python3-numpy" || fail "Depends lacks python3-numpy"
    "$bin/kv-sensor-sim" --pcap "$scratch/py.pcap" --seconds 1 >/dev/null 2>&1 || fail "kv-sensor-sim --pcap failed"
    out=$(PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c \
        "import kvcloudscope as k; c = k.open('$scratch/py.pcap'); print(len(c), len(c[0]))" 2>&1) ||
        fail "the packaged Python module does not read a capture: $out"
    echo "$out" | grep -Eq '^[0-9]+ [0-9]+$' || fail "the packaged Python module says: $out"
else
    fail "no Python module in /usr/lib/python3/dist-packages"
fi

[ $failures -eq 0 ] && echo "package: all checks passed"
[ $failures -eq 0 ]
