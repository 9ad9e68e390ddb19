#!/usr/bin/env python3
"""Writes a large JSON result for geminor-cli --apply: groups of two files under a folder that
does not exist, so that every file is skipped as gone and only the reading is measured.

    bench/apply_json.py OUT.json [MEGABYTES]   (default 100)
"""
import sys

out, megabytes = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 100
limit = megabytes * 1000 * 1000
with open(out, "w") as f:
    f.write('{"geminor":"0.1.0","method":"byte","files_scanned":0,"folders_scanned":0,"duplicates":0,"groups":[')
    written, group = 0, 0
    while written < limit:
        files = []
        for member in range(2):
            inode = group * 2 + member + 1
            files.append('{"path":"/nonexistent/geminor-bench/folder %06d/file-%d.dat","size":%d,"mtime":1700000000,'
                         '"mtime_ns":1700000000123456789,"ctime_ns":1700000000123456789,"device":2049,'
                         '"inode":%d,"marked":%s,"reference":false}'
                         % (group // 100, member, 1000 + group, inode, "true" if member else "false"))
        text = ('' if group == 0 else ',') + '\n{"files":[\n' + ',\n'.join(files) + '\n]}'
        f.write(text)
        written += len(text)
        group += 1
    f.write('\n]}\n')
print(f"{out}: {group} groups, {2 * group} files")
