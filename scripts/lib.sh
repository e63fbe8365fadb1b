# Shared by the scripts: installs the Debian packages a step needs, where missing.
# Usage: need_packages pkg...
need_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # Packages of the 32-bit architecture (name:i386) need it added to dpkg first.
  case " ${missing[*]}" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
  esac
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

BUILD_PACKAGES=(cmake ninja-build g++ make)
TEST_PACKAGES=(libgtest-dev clang-format python3 time)
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
                  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686)
# wine32 runs the 32-bit build, on 32-bit Windows and under WOW64 in a 64-bit prefix.
WINE_PACKAGES=(wine64 wine32:i386 locales)
# The locales the Wine runs use: Wine takes its ANSI code page from the locale (932 and
# 65001), and reads the command line in the locale's character set.
WINE_LOCALES=(ja_JP.UTF-8 hi_IN.UTF-8)

# Generates the glibc locales that are missing. Usage: need_locales name.UTF-8...
need_locales() {
  local missing=() available
  available=$(locale -a 2>/dev/null)
  for name in "$@"; do
    grep -qix "${name%.UTF-8}.utf8" <<< "$available" || missing+=("$name")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Generating locales: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  for name in "${missing[@]}"; do
    $sudo localedef -i "${name%.UTF-8}" -c -f UTF-8 -A /usr/share/locale/locale.alias "$name"
  done
}
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
