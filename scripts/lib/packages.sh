# Debian packages the builds need, and installing those a machine lacks.
# Sourced by scripts/test and scripts/demo.

# The Windows build and running its programs under Wine on a display.
readonly tav_windows_packages=(
  cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  binutils-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool imagemagick
  fonts-liberation python3 git osslsigncode openssl
)

# The 32-bit Windows build and Wine's 32-bit side, which runs its programs in
# the same prefix as the 64-bit ones (packages of the i386 architecture).
readonly tav_windows_x86_packages=(
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 wine32:i386
)

# The Linux builds and their tests.
readonly tav_linux_packages=(
  cmake ninja-build g++ libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev python3
)

# grep reads all of dpkg's output (no -q), so pipefail never sees a SIGPIPE.
tav_installed() { dpkg -s "$1" 2>/dev/null | grep '^Status: install ok installed$' >/dev/null; }

# tav_missing_packages PACKAGE...: prints those not installed, one a line.
tav_missing_packages() {
  local package
  for package in "$@"; do
    tav_installed "$package" || echo "$package"
  done
}

# tav_apt_install PACKAGE...: installs them, as root or through sudo.
tav_apt_install() {
  (($# == 0)) && return 0
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || {
      echo "missing packages ($*) and no root or sudo to install them" >&2
      return 1
    }
    sudo=(sudo)
  fi
  # A package of another architecture (name:i386) needs that architecture
  # added before the archive's lists are read.
  local package arch
  for package in "$@"; do
    [[ $package == *:* ]] || continue
    arch=${package##*:}
    dpkg --print-foreign-architectures | grep -x "$arch" >/dev/null ||
      "${sudo[@]}" dpkg --add-architecture "$arch" || return 1
  done
  "${sudo[@]}" apt-get update &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y --no-install-recommends "$@"
}
