# Shared by scripts/test and scripts/run: install what is missing, then configure and build.
# Sourced, not run; expects ROOT to be set.

PACKAGES="build-essential cmake ninja-build pkg-config qtbase5-dev libqt5sql5-sqlite libssl-dev
          libmosquitto-dev mosquitto libbenchmark-dev tzdata openssl python3"

install_missing() {
    local missing=""
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

# build <folder> [cmake options...]
build() {
    local dir="$1" generator=()
    shift
    # Ninja: less overhead per step than make, a few seconds on two cores; a build folder that
    # another generator made keeps its own.
    [ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
    cmake -S "$ROOT" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}
