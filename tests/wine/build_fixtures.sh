#!/bin/sh
# Builds the Wine test fixtures into OUTDIR (default build/wine-fixtures), for x64 and,
# in OUTDIR/x86, for 32-bit Windows: the test driver zephyn.sys, the two stand-in DLLs
# that sit beside ZPConfigUtil.exe (msports.dll and cfgmgr32.dll), wait_device.exe, which
# waits until the driver's control device is there, hold_mutex.exe, which holds the
# program's run mutex as another run would, and fixture_check.exe, which checks
# the driver and the DLLs under Wine:
#   ZP_WINE_EXE=OUTDIR/fixture_check.exe run_scenario.sh \
#     --expect fixture_check/expected fixture_check/machine.reg RESULTDIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../build/wine-fixtures}
root=$(cd "$here/../.." && pwd)  # the simulated machine's knobs: platform/sim/knobs.h

# The Wine folder of one architecture's Windows DLLs: $1 is x86_64 or i386.
wine_dll_dir() {
  for dir in /usr/lib/$1-linux-gnu/wine/$1-windows /usr/lib/wine/$1-windows \
             /usr/lib64/wine/$1-windows /opt/wine-stable/lib/wine/$1-windows; do
    if [ -f "$dir/cfgmgr32.dll" ]; then echo "$dir"; return; fi
  done
}

# build_set TRIPLET OUT WINE_DLLS
build_set() {
  cc=$1-gcc out=$2 wine_dlls=$3
  mkdir -p "$out"
  [ -f "$wine_dlls/cfgmgr32.dll" ] || { echo "build_fixtures: set WINE_DLL_DIR${4:-} to Wine's $1 DLL folder" >&2; exit 1; }

  # The driver: freestanding, linked against the kernel only.
  $cc -O2 -Wall -Wextra -Werror -ffreestanding -fno-stack-protector -fno-builtin \
    -I/usr/$1/include/ddk -I"$root" -c "$here/zephyn_driver.c" -o "$out/zephyn_driver.o"
  entry=DriverEntry
  [ "$1" = i686-w64-mingw32 ] && entry=_DriverEntry@8  # stdcall's name on x86
  $cc -shared -nostdlib -nostartfiles -Wl,--subsystem,native -Wl,--entry,$entry \
    -o "$out/zephyn.sys" "$out/zephyn_driver.o" -lntoskrnl -lgcc

  # msports.dll: the database calls under the names the system exports (undecorated on x86
  # too); the module definition binds some of them to wrappers that hold the database's mutex.
  $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -Wl,--enable-stdcall-fixup -I"$root" \
    -o "$out/msports.dll" "$here/msports_double.c" "$here/msports.def" -ladvapi32

  # cfgmgr32.dll: the device-node calls served here; every other export of the platform's
  # cfgmgr32.dll forwarded to setupapi.dll, where the platform implements them.
  {
    cat "$here/cfgmgr32.def"
    served=$(sed -n 's/^ *\([A-Za-z_0-9]*\) *= *double.*/\1/p' "$here/cfgmgr32.def" | tr '\n' ' ')
    $1-objdump -p "$wine_dlls/cfgmgr32.dll" |
      sed -n '/\[Ordinal\/Name Pointer\] Table/,$p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([A-Za-z_0-9]*\)$/\1/p' |
      while read -r name; do
        case " $served " in *" $name "*) ;; *) echo "  $name = setupapi.$name" ;; esac
      done
  } > "$out/cfgmgr32.def"
  $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -Wl,--enable-stdcall-fixup \
    -o "$out/cfgmgr32.dll" "$here/cfgmgr32_double.c" "$out/cfgmgr32.def" -ladvapi32
  rm -f "$out/zephyn_driver.o"

  $cc -O2 -Wall -Wextra -Werror -o "$out/wait_device.exe" "$here/wait_device.c"
  $cc -O2 -Wall -Wextra -Werror -o "$out/hold_mutex.exe" "$here/hold_mutex.c"
  # The check of the three, linked as the program links (CM_* from cfgmgr32.dll).
  msports=-lmsports
  if [ "$1" = i686-w64-mingw32 ]; then
    $1-dlltool -k -d "$here/../../platform/win32/msports-x86.def" -l "$out/libmsports.a"
    msports=$out/libmsports.a
  fi
  $cc -O2 -Wall -Wextra -Werror -o "$out/fixture_check.exe" "$here/fixture_check.c" -lcfgmgr32 \
    -lsetupapi "$msports" -ladvapi32
  rm -f "$out/libmsports.a"
}

build_set x86_64-w64-mingw32 "$out" "${WINE_DLL_DIR:-$(wine_dll_dir x86_64)}"
build_set i686-w64-mingw32 "$out/x86" "${WINE_DLL_DIR_X86:-$(wine_dll_dir i386)}" _X86
