#!/usr/bin/env bash
# An end-to-end script (the turn cycle unless another is named) under Xvfb; skipped (exit 77)
# where Xvfb, xdotool or the AT-SPI stack are missing.
#   run-e2e.sh BUILD_DIR [SCRIPT.py]
set -u
build=$1
script=${2:-turn_cycle.py}
for tool in xvfb-run xdotool dbus-run-session /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "skipped: the AT-SPI bus (at-spi2-core) is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program keeps its data beside itself: run a copy of the program folder.
cp -r "$build/bin" "$work/prog"
rm -f "$work/prog/turnex.dat" "$work/prog/user.dat"
shots="$build/e2e-screens"
[ "$script" = turn_cycle.py ] || shots="$build/e2e-screens-${script%.py}"
rm -rf "$shots"
dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" \
    /usr/bin/python3 "$(dirname "$0")/$script" "$work/prog" "$work" "$build/bin/turnex-screenshot" "$shots" 2>&1 \
    | grep -v -E 'dbus-daemon|XDG_RUNTIME_DIR|SpiRegistry|^$'
exit "${PIPESTATUS[0]}"
