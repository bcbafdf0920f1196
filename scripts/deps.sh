# Sourced by run.sh and test.sh: installs the Debian packages that are missing.
kv_install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
            echo "error: missing packages (${missing[*]}) and no root rights to install them" >&2
            return 1
        fi
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

KV_BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev libpcl-dev libvtk9-qt-dev libpcap-dev
                   libwiretap-dev libwsutil-dev libglib2.0-dev  # pcapng files libpcap refuses
                   help2man  # the manual pages, from each program's --help
                   librsvg2-bin  # rsvg-convert: the icon's PNG sizes from its SVG source
                   libgl1-mesa-dri libgtest-dev libbenchmark-dev
                   fonts-wqy-microhei  # the full-width colons of some labels
                   pybind11-dev python3-dev python3-numpy)  # the Python module
KV_TEST_PACKAGES=(xvfb xauth
                  tcpdump tshark tcpreplay  # captures made by the standard tools (editcap, mergecap, capinfos)
                  dpkg-dev desktop-file-utils file  # the package test: dpkg-shlibdeps, dpkg-deb, desktop-file-validate
                  lintian
                  python3-pytest python3-distributed python3-matplotlib)  # the Python tests, the batch, the example
