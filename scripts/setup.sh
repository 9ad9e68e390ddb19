# Shared by ./run and ./run-tests: installs the missing Debian packages and builds once.
# Sourced, not run; leaves GEMINOR_BUILD set to the build folder.
set -euo pipefail

GEMINOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
GEMINOR_BUILD="${GEMINOR_BUILD:-$GEMINOR_ROOT/build}"
GEMINOR_TARGETS=()

GEMINOR_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6
  qt6-image-formats-plugins
  libdeflate-dev libxxhash-dev libcli11-dev liblmdb-dev libabsl-dev libheif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  desktop-file-utils appstream
)
# Only ./run-tests needs these: the sanitizer and fuzzing build, and shuffled listings.
GEMINOR_TEST_PACKAGES=(clang libclang-rt-14-dev disorderfs btrfs-progs)
GEMINOR_TEST_PACKAGES+=(bindfs fuse3)  # bindfs mirrors (FUSE) for the content property test
GEMINOR_TEST_PACKAGES+=(exfatprogs exfat-fuse)  # the checksum cache's exFAT test
GEMINOR_TEST_PACKAGES+=(strace)  # crash points: geminor-cli killed before each call that changes files
GEMINOR_TEST_PACKAGES+=(clang-format clang-tidy)  # the code's format and bugprone checks
GEMINOR_TEST_PACKAGES+=(mate-backgrounds imagemagick)  # photographs, and their edited copies, for the picture tests
GEMINOR_TEST_PACKAGES+=(libheif-examples)  # heif-enc: HEIC and AVIF copies of them

geminor_install_packages() {
  local missing=()
  for pkg in "${GEMINOR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  else
    echo "Missing packages. Run:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
}

# Builds the targets named in GEMINOR_TARGETS (./run: the two programs), else everything.
geminor_build() {
  if [ ! -f "$GEMINOR_BUILD/build.ninja" ]; then
    cmake -S "$GEMINOR_ROOT" -B "$GEMINOR_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >&2
  fi
  local targets=()
  [ ${#GEMINOR_TARGETS[@]} -eq 0 ] || targets=(--target "${GEMINOR_TARGETS[@]}")
  cmake --build "$GEMINOR_BUILD" --parallel "$(nproc)" "${targets[@]}" >&2
}
