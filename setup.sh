#!/bin/sh
# Set-up for a Debian 12 machine: installs what is missing, builds, and then
# either starts the application ("run") or runs every test ("test"), the
# fuzz targets included for a few seconds each.
#   ./setup.sh run  [files to open...]
#   ./setup.sh test
# Both are idempotent: with everything installed and built they only check.
set -eu

cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES="g++ cmake ninja-build pkg-config git ca-certificates
  qt6-base-dev qt6-pdf-dev libqt6pdfwidgets6 qt6-image-formats-plugins libgl-dev
  libsqlite3-dev sqlite3 zlib1g-dev zip unzip
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core file dbus-daemon
  clang libclang-rt-14-dev valgrind"

log() { printf '==> %s\n' "$*" >&2; }

install_missing() {
    missing=""
    for p in $PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    log "installing:$missing"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 || { log "run as root to install:$missing"; exit 1; }
        SUDO=sudo
    fi
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
}

# build DIR [cmake options...]
build() {
    dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        log "configuring $dir"
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    fi
    log "building $dir"
    cmake --build "$dir" -j "$JOBS"
}

run_tests() {
    dir=$1
    log "testing $dir"
    (cd "$dir" && ctest -j "$JOBS" --output-on-failure --timeout 600)
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
    run)
        install_missing
        build "$ROOT/build"
        app="$ROOT/build/src/app/ZanthPluginConverter"
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            log "no display found: starting on a virtual X server (xvfb-run)"
            exec xvfb-run -a "$app" "$@"
        fi
        exec "$app" "$@"
        ;;
    test)
        install_missing
        build "$ROOT/build"
        run_tests "$ROOT/build"
        build "$ROOT/build-asan" -DZPC_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1" \
        LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            run_tests "$ROOT/build-asan"
        log "benchmarks, small trees"
        "$ROOT/bench/run" --quick
        log "fuzzing, short bounded runs"
        "$ROOT/fuzz/run"
        log "all tests passed"
        ;;
    *)
        echo "usage: $0 run [files...] | test" >&2
        exit 2
        ;;
esac
