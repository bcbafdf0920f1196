#!/usr/bin/env bash
# Unpacks the Debian package into a scratch root and checks it: the files and their layout,
# the links in /usr/bin, the default config.ini beside the viewer, the .desktop entry and its
# icon, dependencies found by dpkg-shlibdeps, and the unpacked programs themselves.
#   package_test.sh BUILD_DIR PROGRAM...
# Builds the package first when there is none or it is older than the programs.
set -uo pipefail
build=$1
shift
programs=("$@")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for tool in dpkg-deb desktop-file-validate cpack; do
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
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb" >&2; exit 1; }
bin=$root/opt/kv-cloudscope/bin

# Every program in /opt/kv-cloudscope/bin, with an absolute link to it in /usr/bin.
for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] && [ -f "$bin/$p" ] || fail "$p is not an executable in /opt/kv-cloudscope/bin"
    link=$root/usr/bin/$p
    if [ -L "$link" ]; then
        target=$(readlink "$link")
        [ "$target" = "/opt/kv-cloudscope/bin/$p" ] || fail "/usr/bin/$p points to $target"
        [ -x "$root$target" ] || fail "/usr/bin/$p points to nothing in the package"
    else
        fail "/usr/bin/$p is not a link"
    fi
    # Every library the program needs is on this machine, where the package's dependencies are installed.
    if ldd "$bin/$p" | grep -q "not found"; then fail "$p needs libraries that are not found: $(ldd "$bin/$p" | grep 'not found' | tr -s ' \t' ' ')"; fi
done
# Nothing else hides in /usr/bin.
for f in "$root"/usr/bin/*; do
    n=$(basename "$f")
    printf '%s\n' "${programs[@]}" | grep -qx "$n" || fail "unexpected /usr/bin/$n"
done

# The default configuration, beside the viewer, as the viewer reads it.
ini=$bin/config.ini
if [ -f "$ini" ]; then
    [ "$(head -n 1 "$ini")" = "[Config]" ] || fail "config.ini does not start with [Config]"
    for kv in LidarLineType=1 HPandT=2.5 showPLSAngle=false AngleShowValue=-1 isProductionUsed=false LineShowNumber=1; do
        grep -qx "$kv" "$ini" || fail "config.ini lacks $kv"
    done
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null | grep -qx "/opt/kv-cloudscope/bin/config.ini" ||
        fail "config.ini is not a conffile: an upgrade would overwrite the user's settings"
else
    fail "no config.ini beside the viewer"
fi

# The desktop entry: valid, starting the linked viewer, with an icon at every hicolor size.
desktop=$root/usr/share/applications/kv-cloudscope.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the .desktop entry"
    exec_cmd=$(sed -n 's/^Exec=//p' "$desktop" | cut -d' ' -f1)
    [ -L "$root/usr/bin/$exec_cmd" ] || fail "the .desktop entry runs $exec_cmd, which is not in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
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

[ $failures -eq 0 ] && echo "package: all checks passed"
[ $failures -eq 0 ]
