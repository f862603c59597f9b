#!/usr/bin/env bash
# The one entry point: installs what is missing, configures, builds, then runs the test suite
# ("test"), simulates the bundled example ("demo") or starts the desktop application with the
# files given ("run").
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev ccache
  libhwy-dev qt6-base-dev qt6-svg-dev libxkbcommon-dev fonts-dejavu-core locales
  libhdf5-dev libopenmpi-dev openmpi-bin)

install_missing_packages() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  local sudo=()
  ((EUID == 0)) || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# A comma-decimal locale, so that the suite proves the files do not depend on the locale (its
# test skips without one). Made in the system's locale archive: a private one through LOCPATH
# makes glibc's setlocale keep memory that the leak checker reports.
ensure_comma_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  local sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
}

build() {
  local preset=$1
  install_missing_packages
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

case "${1:-}" in
  test)
    build dev
    ensure_comma_locale
    ctest --test-dir build/dev --output-on-failure --no-tests=error -j "$(nproc)"
    ;;
  demo)
    build release
    mkdir -p build/demo
    build/release/cli/tessaline-cli simulate examples/quartz.cif -o build/demo/quartz-profile.txt --summary \
      --reflexions build/demo/quartz-reflexions.txt --structure-factors build/demo/quartz-structure-factors.txt
    echo "Simulated powder pattern (Cu K-alpha-1, 2-theta 0-180 degrees, 72000 points): build/demo/quartz-profile.txt"
    echo "Reflexion and structure-factor listings: build/demo/quartz-reflexions.txt, build/demo/quartz-structure-factors.txt"
    build/release/cli/tessaline-cli plot examples/quartz.cif -o build/demo/quartz.png --range 5:90 --labels 8 --ticks
    echo "Its plot, with the strongest peaks labelled and the reflexions ticked: build/demo/quartz.png"
    ;;
  run)
    shift
    build release
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
      echo "No display to show the window on. On a desktop session, run this from a terminal there;"
      echo "on a machine without one, a virtual display serves: sudo apt-get install xvfb, then"
      echo "  xvfb-run -s '-screen 0 1600x1000x24' $0 run $*"
      exit 1
    fi
    exec build/release/gui/app/tessaline "$@"
    ;;
  *)
    echo "usage: $0 test|demo|run [FILES]" >&2
    exit 2
    ;;
esac
