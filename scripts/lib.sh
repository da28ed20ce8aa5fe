# shellcheck shell=bash
# Shared by scripts/run, scripts/test and scripts/build-windows: install what a Debian 12 machine
# lacks, then build.
# Source it from bash with `set -euo pipefail` in force; it defines functions and variables only.

KIVORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KIVORA_BUILD_DIR=${KIVORA_BUILD_DIR:-build}
# A relative build folder is taken from the repository root, wherever the script was started.
case $KIVORA_BUILD_DIR in
    /*) ;;
    *) KIVORA_BUILD_DIR=$KIVORA_ROOT/$KIVORA_BUILD_DIR ;;
esac

# shellcheck disable=SC2034  # both lists are used by the scripts that source this file
# What building and running need. libqt6opengl6-dev is only a Recommends of qt6-base-dev, and
# without it find_package(Qt6 ... Charts) fails, so it is named here. The xcb Present, XInput and
# Composite headers are for the frame-locked pictures, the key reader and asking whether a
# compositor redirects the window; qt6-tools-dev (CMake's Qt6LinguistTools) and qt6-l10n-tools
# (lupdate, lrelease) compile the translations into the program.
KIVORA_BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-charts-dev libqt6opengl6-dev
    libxkbcommon-dev libxcb1-dev libxcb-present-dev libxcb-xinput-dev libxcb-composite0-dev
    libcups2-dev libboost-dev fonts-ipafont-gothic qt6-tools-dev qt6-l10n-tools)
# shellcheck disable=SC2034
# What the tests need on top: a real X server and its tools (XTest and DAMAGE for the key sender,
# the Present test and the timing benchmark's watcher), printing to PDF, clang, and real
# compositors for the display check: GNOME's mutter, picom, weston with XWayland.
KIVORA_TEST_PACKAGES=(xvfb xauth x11-utils xdotool xclip imagemagick poppler-utils libxtst-dev
    libxcb-xtest0-dev libxcb-damage0-dev cups clang python3 printer-driver-cups-pdf
    mutter dbus-daemon picom weston xwayland)

# shellcheck disable=SC2034
# What the Windows build needs (scripts/build-windows): the mingw-w64 compilers with POSIX
# threads, wine to run the tests, ninja, the host Qt tools (moc, rcc, uic at the same 6.4.2 as
# the prebuilt Qt for Windows), an X server for the end-to-end test and the fonts of the tests,
# wixl and msitools (msibuild, msiinfo) for the MSI; installed together with the build packages,
# which bring CMake, the Qt headers and IPA fonts; and for the key reader's test and benchmark
# under wine the Linux key sender and raw key watcher (XTest, DAMAGE) and xdotool.
KIVORA_WINDOWS_PACKAGES=(ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    mingw-w64-tools wine64 wine qt6-base-dev-tools python3 xvfb x11-utils fonts-dejavu-core
    libxtst-dev libxcb-damage0-dev xdotool wixl msitools)

# Building needs too: rsvg-convert and icotool, which make the icon's sizes and its .ico from the
# one SVG (cmake/Icons.cmake).
KIVORA_BUILD_PACKAGES+=(librsvg2-bin icoutils)
# shellcheck disable=SC2034
# What the Debian package needs (scripts/package-deb): help2man for its manual page, dpkg-dev
# for dpkg-shlibdeps and the build flags; and its test (tests/package/deb_check.py): lintian, the
# checkers of desktop entries and AppStream metadata, debootstrap for a clean Debian 12 root.
KIVORA_PACKAGE_PACKAGES=(help2man dpkg-dev lintian desktop-file-utils appstream debootstrap)

kivora_say() { printf '[kivora] %s\n' "$*" >&2; }
kivora_die() { printf '[kivora] error: %s\n' "$*" >&2; exit 1; }

# The prefix that runs a command as root: nothing when we are root, sudo otherwise.
KIVORA_SUDO=()
if [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null 2>&1; then
    KIVORA_SUDO=(sudo)
fi

kivora_as_root() {
    if [[ $(id -u) -ne 0 && ${#KIVORA_SUDO[@]} -eq 0 ]]; then
        kivora_die "need root (or sudo) to run: $*"
    fi
    "${KIVORA_SUDO[@]}" "$@"
}

kivora_is_installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

# True while some cupsd answers on the default socket.
kivora_cups_running() {
    LC_ALL=C lpstat -r 2>/dev/null | grep -q '^scheduler is running'
}

kivora_apt_install() {
    kivora_as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "$@" </dev/null
}

# Installs whichever of the given packages are missing. Nothing is fetched (not even the
# package lists) when all are present.
kivora_install() {
    local pkg
    local -a missing=()
    for pkg in "$@"; do
        kivora_is_installed "$pkg" || missing+=("$pkg")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        kivora_say "packages: all ${#} present, nothing to install"
        return 0
    fi
    command -v apt-get >/dev/null 2>&1 ||
        kivora_die "missing packages (${missing[*]}) and no apt-get to install them"
    kivora_say "packages: installing ${missing[*]}"
    kivora_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null

    # printer-driver-cups-pdf goes last: its install script waits 10 s for a running cupsd
    # before it sets up a queue, so cups comes first and a cupsd is started for the moment.
    local cups_pdf=0
    local -a first=()
    for pkg in "${missing[@]}"; do
        if [[ $pkg == printer-driver-cups-pdf ]]; then cups_pdf=1; else first+=("$pkg"); fi
    done
    if [[ ${#first[@]} -gt 0 ]]; then
        kivora_apt_install "${first[@]}"
    fi
    if [[ $cups_pdf -eq 1 ]]; then
        local cupsd_pid=""
        if ! kivora_cups_running; then
            # A simple command in the background: $! is cupsd itself (or sudo, which passes
            # the signal on), not a subshell around it.
            "${KIVORA_SUDO[@]}" cupsd -f </dev/null >/dev/null 2>&1 &
            cupsd_pid=$!
            local i
            for ((i = 0; i < 50; i++)); do
                kivora_cups_running && break
                sleep 0.1
            done
        fi
        kivora_apt_install printer-driver-cups-pdf
        if [[ -n $cupsd_pid ]]; then
            kivora_as_root kill "$cupsd_pid" 2>/dev/null || true
            wait "$cupsd_pid" 2>/dev/null || true
        fi
    fi
}

# Configures and builds the Linux program and its tests in KIVORA_BUILD_DIR; with arguments, only
# those targets.
kivora_build() {
    local -a targets=()
    [[ $# -gt 0 ]] && targets=(--target "$@")
    kivora_say "building ${*:-everything} in $KIVORA_BUILD_DIR"
    cmake -S "$KIVORA_ROOT" -B "$KIVORA_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$KIVORA_BUILD_DIR" "${targets[@]}" -j"$(nproc)"
}

# Stops a process the calling script started, by its PID, and nothing else.
kivora_stop_pid() {
    local pid=$1 name=$2 i
    [[ -n $pid ]] || return 0
    kill -0 "$pid" 2>/dev/null || kivora_as_root kill -0 "$pid" 2>/dev/null || return 0
    kivora_as_root kill "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        kivora_as_root kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kivora_as_root kill -0 "$pid" 2>/dev/null; then
        kivora_say "$name (PID $pid) did not stop on TERM; killing it"
        kivora_as_root kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
    kivora_say "stopped $name (PID $pid)"
}

# Starts an Xvfb for the tests, its files in folder $1: sets XVFB_PID and exports
# KIVORA_TEST_DISPLAY. Tries display numbers from 99 up. -displayfd makes Xvfb write its display
# number once it accepts connections, and only our own server writes to our file, so two test
# runs that race for the same number cannot mistake each other's server for theirs: the loser
# exits and the next number is tried. -noreset: without it the server resets whenever its last
# client leaves (between two tests), and a program connecting in that moment is refused.
kivora_start_xvfb() {
    local dir=$1 n i ready
    for ((n = 99; n < 199; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        : >"$dir/xvfb-display"
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset -displayfd 3 \
            3>"$dir/xvfb-display" </dev/null >"$dir/xvfb.log" 2>&1 &
        XVFB_PID=$!
        ready=0
        for ((i = 0; i < 150; i++)); do
            if [[ -s $dir/xvfb-display ]]; then ready=1; break; fi
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if [[ $ready -eq 1 ]] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
            export KIVORA_TEST_DISPLAY=":$n"
            kivora_say "Xvfb on :$n (PID $XVFB_PID)"
            return 0
        fi
        kivora_stop_pid "$XVFB_PID" Xvfb
        XVFB_PID=""
    done
    kivora_say "Xvfb did not start; its last words:"
    cat "$dir/xvfb.log" >&2 || true
    return 1
}
