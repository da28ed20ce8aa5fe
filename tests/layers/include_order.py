#!/usr/bin/env python3
"""Checks that every folder under src/ includes only itself and the folders below it.

    include_order.py SRC_DIR LAYER...

LAYER... are the folders from the bottom up (base stimuli run analysis results session app). A file
directly in SRC_DIR sits above every folder. Each include against the order is printed as
FILE:LINE: message, and the exit status is then 1; a folder that is not in the order is an
error too, so a new folder has to be given its place.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    src = pathlib.Path(argv[1])
    rank = {layer: i for i, layer in enumerate(argv[2:])}
    top = len(rank)
    faults = []
    for path in sorted(src.rglob('*')):
        if path.suffix not in ('.h', '.cpp') or not path.is_file():
            continue
        rel = path.relative_to(src)
        own = rel.parts[0] if len(rel.parts) > 1 else None
        if own is not None and own not in rank:
            faults.append(f'{rel}:1: folder {own}/ has no place in the layer order '
                          f'({" < ".join(rank)})')
            continue
        own_rank = top if own is None else rank[own]
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            m = INCLUDE.match(line)
            if not m or m.group(1) not in rank:
                continue
            used = m.group(1)
            if rank[used] > own_rank:
                faults.append(f'{rel}:{number}: {own}/ must not include {used}/, which lies above it '
                              f'({" < ".join(rank)})')
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f'include order kept in {src}: {" < ".join(rank)}')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
