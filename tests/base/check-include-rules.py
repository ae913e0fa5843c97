#!/usr/bin/env python3
"""Usage: check-include-rules.py SOURCE_DIR

The run-time libraries (libs/) and the program (src/) meet only in src/base/ and include/turnex/.
Fails when a file under libs/ includes a header of src/ other than src/base/, or a file under src/
includes a header that lives under libs/, however the include is spelled (beside the file, through
an include folder, or with "../")."""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCES = ('.h', '.hpp', '.c', '.cc', '.cpp')


def sources(folder):
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if name.endswith(SOURCES):
                yield os.path.join(root, name)


def includes(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1) == '"', m.group(2)


def inside(path, folder):
    return os.path.commonpath([path, folder]) == folder


def main():
    top = os.path.realpath(sys.argv[1])
    src, libs, interfaces = (os.path.join(top, d) for d in ('src', 'libs', 'include'))
    base = os.path.join(src, 'base')
    headers_of_libs = {}
    for path in sources(libs):
        rel = os.path.relpath(path, libs)
        parts = rel.split(os.sep)
        # A header of libs/x/y/z.h is reachable as z.h, y/z.h and x/y/z.h through include folders.
        for i in range(len(parts)):
            headers_of_libs.setdefault('/'.join(parts[i:]), path)

    def resolve(including, quoted, name):
        candidates = [os.path.join(os.path.dirname(including), name)] if quoted else []
        candidates += [os.path.join(interfaces, name), os.path.join(src, name)]
        for c in candidates:
            if os.path.isfile(c):
                return os.path.realpath(c)
        return None

    problems = []
    scanned = 0
    for path in sources(libs):
        scanned += 1
        for number, quoted, name in includes(path):
            found = resolve(path, quoted, name)
            if found and inside(found, src) and not inside(found, base):
                problems.append(f'{os.path.relpath(path, top)}:{number}: includes "{name}", '
                                f'{os.path.relpath(found, top)} of the program')
    ui = os.path.join(src, 'ui')
    for path in list(sources(libs)) + [p for p in sources(src) if not inside(p, ui)]:
        for number, quoted, name in includes(path):
            if not quoted and (name.startswith('Q') or name.startswith('qt')):
                problems.append(f'{os.path.relpath(path, top)}:{number}: includes <{name}>, '
                                'a Qt header below the windows')
    for path in sources(src):
        scanned += 1
        for number, quoted, name in includes(path):
            found = resolve(path, quoted, name)
            if found is None and name in headers_of_libs:
                found = headers_of_libs[name]
            if found and inside(found, libs):
                problems.append(f'{os.path.relpath(path, top)}:{number}: includes "{name}", '
                                f'{os.path.relpath(found, top)} of a library')
    if scanned == 0:
        print(f'no sources under {top}/src or {top}/libs')
        return 1
    for p in problems:
        print(p)
    if not problems:
        print(f'{scanned} files: libraries and program share only src/base and include/turnex')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
