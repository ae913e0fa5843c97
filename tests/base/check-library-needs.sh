#!/bin/sh
# Usage: check-library-needs.sh BIN_DIR NAME...
# Fails when one of the libraries BIN_DIR/libNAME.so is missing or lists a Qt library among the
# libraries it needs.
dir=$1
shift
status=0
for name in "$@"; do
    lib="$dir/lib$name.so"
    if [ ! -f "$lib" ]; then
        echo "missing: $lib"
        status=1
        continue
    fi
    if ! dynamic=$(readelf -d "$lib"); then
        echo "readelf cannot read $lib"
        status=1
        continue
    fi
    qt=$(printf '%s\n' "$dynamic" | grep '(NEEDED)' | grep -i 'libQt')
    if [ -n "$qt" ]; then
        echo "lib$name.so needs Qt:"
        printf '%s\n' "$qt"
        status=1
    fi
done
[ $status -eq 0 ] && echo "no library needs Qt: $*"
exit $status
