# Debian 12 packages the build, the program and the tests need.
# Sourced by run.sh and test.sh.

QUORBEL_RUN_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-webengine-dev qt6-translations-l10n
    libgl-dev libgl1-mesa-dri libgtest-dev
    libcapi20-3
)
QUORBEL_TEST_PACKAGES=(
    "${QUORBEL_RUN_PACKAGES[@]}"
    xvfb xauth clang libclang-rt-14-dev
)

# Installs what is missing (as root), or prints the exact line to run.
quorbel_ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    else
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}

# Configures and builds into build/.
quorbel_build() {
    local top=$1
    shift
    cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$top/build" -j "$(nproc)"
}
