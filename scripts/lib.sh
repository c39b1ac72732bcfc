# Shared by the scripts in this folder: package installation and the build.
# Sourced, not run.

NORWIN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libwebkit2gtk-4.1-dev libgtk-3-dev libpugixml-dev libcurl4-openssl-dev libsqlite3-dev
  libssl-dev libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  xvfb xauth fonts-liberation dbus dbus-x11 poppler-utils librsvg2-common
  help2man sqlite3 mdbtools-dev mdbtools desktop-file-utils
  libpq-dev postgresql webkit2gtk-driver
  xdotool python3-gi gir1.2-gtk-3.0
)

# What scripts/fuzz needs besides: clang and its libFuzzer.
NORWIN_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Installs the Debian packages the build and the tests need, and the ones
# named as arguments. As root it runs apt-get for whatever is missing;
# otherwise it names what is missing.
norwin_install_packages() {
  local missing=()
  for p in "${NORWIN_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}

# norwin_build BUILD_DIR [CMAKE_ARGS...] [--target TARGET...]: configures
# (once) and builds everything, or only the targets named after --target.
norwin_build() {
  local dir=$1
  shift
  local configure=() targets=()
  while [ $# -gt 0 ] && [ "$1" != --target ]; do configure+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  cmake -S . -B "$dir" -G Ninja "${configure[@]}"
  cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}
