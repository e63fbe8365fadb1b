#!/bin/sh
# Builds the Wine test fixtures into OUTDIR (default build/wine-fixtures): the test
# driver zephyn.sys, the two stand-in DLLs that sit beside ZPConfigUtil.exe (msports.dll
# and cfgmgr32.dll), and fixture_check.exe, which checks all three under Wine:
#   ZP_WINE_EXE=OUTDIR/fixture_check.exe run_scenario.sh \
#     --expect fixture_check/expected fixture_check/machine.reg RESULTDIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../build/wine-fixtures}
mkdir -p "$out"
cc=x86_64-w64-mingw32-gcc

# The driver: freestanding, linked against the kernel only.
$cc -O2 -Wall -Wextra -Werror -ffreestanding -fno-stack-protector -fno-builtin \
  -I/usr/x86_64-w64-mingw32/include/ddk -c "$here/zephyn_driver.c" -o "$out/zephyn_driver.o"
$cc -shared -nostdlib -nostartfiles -Wl,--subsystem,native -Wl,--entry,DriverEntry \
  -o "$out/zephyn.sys" "$out/zephyn_driver.o" -lntoskrnl -lgcc

# msports.dll: the five database calls under their own names.
$cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -o "$out/msports.dll" "$here/msports_double.c" \
  "$here/msports.def" -ladvapi32

# cfgmgr32.dll: the device-node calls served here; every other export of the platform's
# cfgmgr32.dll forwarded to setupapi.dll, where the platform implements them.
wine_dlls=${WINE_DLL_DIR:-}
if [ -z "$wine_dlls" ]; then
  for dir in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows \
             /usr/lib64/wine/x86_64-windows /opt/wine-stable/lib/wine/x86_64-windows; do
    if [ -f "$dir/cfgmgr32.dll" ]; then wine_dlls=$dir; break; fi
  done
fi
[ -f "$wine_dlls/cfgmgr32.dll" ] || { echo "build_fixtures: set WINE_DLL_DIR to Wine's x86_64-windows folder" >&2; exit 1; }
{
  cat "$here/cfgmgr32.def"
  served=$(sed -n 's/^ *\([A-Za-z_0-9]*\) *= *double.*/\1/p' "$here/cfgmgr32.def" | tr '\n' ' ')
  x86_64-w64-mingw32-objdump -p "$wine_dlls/cfgmgr32.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,$p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([A-Za-z_0-9]*\)$/\1/p' |
    while read -r name; do
      case " $served " in *" $name "*) ;; *) echo "  $name = setupapi.$name" ;; esac
    done
} > "$out/cfgmgr32.def"
$cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -o "$out/cfgmgr32.dll" "$here/cfgmgr32_double.c" \
  "$out/cfgmgr32.def" -ladvapi32
rm -f "$out/zephyn_driver.o"

# The check of the three, linked as the program links (CM_* from cfgmgr32.dll).
$cc -O2 -Wall -Wextra -Werror -o "$out/fixture_check.exe" "$here/fixture_check.c" -lcfgmgr32 -lsetupapi \
  -lmsports -ladvapi32
