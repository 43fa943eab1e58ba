#!/usr/bin/env bash
# Builds dataconv and starts it in a demo program folder, build/demo/, over a demo POS
# database made by tools/demopos. The program finds Config.ini, the column map files
# and the Access files beside its own executable, so the executable is copied there.
#
# The first run installs packages and builds everything it needs: that takes minutes.
# Also builds dataconv-batch and mdbtool, which the README points to.
#
# Needs a display. On a machine without one the program runs on a virtual display that
# no one sees; to look at it, take a screenshot while it runs (see the README):
#   xvfb-run -s "-screen 0 1280x1024x24" ./run-demo.sh &
# and stop it with Ctrl+C, or by closing its window ("離開").
# Settings the operator changes in build/demo/Config.ini are kept between runs; delete
# the file (or build/demo/demo.sqlite) to get the demo ones back.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo.sh: no display to show the program on (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "On a machine without a display run it under a virtual one:  xvfb-run ./run-demo.sh" >&2
  exit 1
fi
# The tests' offscreen platform would make the window invisible.
if [ "${QT_QPA_PLATFORM:-}" = "offscreen" ]; then
  unset QT_QPA_PLATFORM
fi

echo "run-demo.sh: the first run installs packages and builds the program; that takes minutes."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

targets=(dataconv)
[ -f tools/batch/CMakeLists.txt ] && targets+=(dataconv-batch)
[ -f tools/mdbtool/CMakeLists.txt ] && targets+=(mdbtool)
have_demopos=0
if [ -f tools/demopos/CMakeLists.txt ]; then
  targets+=(demopos)
  have_demopos=1
fi
cmake --build build --target "${targets[@]}"

program=$(find build/src/app -maxdepth 1 -name dataconv -type f -perm -u+x | head -n 1)
if [ -z "$program" ]; then
  echo "run-demo.sh: the program was not built (see the build output above)." >&2
  exit 1
fi

demo=$root/build/demo
mkdir -p "$demo"
# A copy, not a link: the program folder is the folder of the executable itself.
cp -f "$program" "$demo/dataconv"

if [ "$have_demopos" -eq 1 ] && [ ! -f "$demo/demo.sqlite" ]; then
  demopos=$(find build/tools -name demopos -type f -perm -u+x | head -n 1)
  echo "Making the demo POS database (3000 items)..."
  "$demopos" "$demo/demo.sqlite" --items 3000
fi

if [ ! -f "$demo/Config.ini" ]; then
  printf '[MSSQL]\r\nProvider=SQLite\r\nDatabase=demo.sqlite\r\n[Export Import]\r\nClassify=1\r\nItem=1\r\nSupplier=1\r\nCustomer=1\r\n' \
    >"$demo/Config.ini"
  chmod 600 "$demo/Config.ini"
fi

echo "Starting the program in $demo (close its window, or press Ctrl+C here, to stop it)"
echo "The same folder for the batch command:  build/tools/batch/dataconv-batch export --folder $demo"
cd "$demo"
exec ./dataconv
