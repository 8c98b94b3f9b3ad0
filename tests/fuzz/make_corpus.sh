#!/usr/bin/env bash
# Remakes the seed archives of tests/fuzz/corpus/update_archive: small archives of one tree made by
# the tools people use (Info-ZIP zip, bsdtar, 7z, Python's zipfile), and the hand-built ones of
# seed_archives.cpp (built by the fuzz preset). The configuration and command-line seeds are
# written by hand and kept as they are.
#
#   bash tests/fuzz/make_corpus.sh      (after cmake --build --preset fuzz)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="$ROOT/tests/fuzz/corpus/update_archive"
GENERATOR="$ROOT/build/fuzz/tests/fuzz/fw_fuzz_seed_archives"
[[ -x "$GENERATOR" ]] || { echo "build the fuzz preset first: $GENERATOR is missing" >&2; exit 1; }

WORK="$(mktemp -d)"
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT
TREE="$WORK/tree"
mkdir -p "$TREE/bin" "$TREE/deep/er" "$TREE/docs" "$TREE/emptydir"
printf 'Read me first.\r\nSecond line.\r\n' >"$TREE/readme.txt"
python3 -c 'import random, sys; r = random.Random(5); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(300)))' >"$TREE/bin/a.dll"
: >"$TREE/bin/empty.dat"
for _ in $(seq 20); do printf 'nested '; done >"$TREE/deep/er/nest.txt"
printf '\xe4\xb8\xad\xe6\x96\x87 text' >"$TREE/docs/ünïcode-中文.txt"
printf 'do not change me\n' >"$TREE/readonly.txt"
chmod 444 "$TREE/readonly.txt"
find "$TREE" -exec touch -h -d '2021-06-15 12:34:57' {} +
TOP=(readme.txt bin deep docs readonly.txt emptydir)

mkdir -p "$OUT"
rm -f "$OUT"/*.zip
(cd "$TREE" && zip -r -q "$OUT/infozip.zip" "${TOP[@]}")
(cd "$TREE" && zip -r -q -X "$OUT/infozip-X.zip" "${TOP[@]}")
(cd "$TREE" && zip -r -q -P secret "$OUT/infozip-P.zip" "${TOP[@]}")
(cd "$TREE" && bsdtar --format zip -cf "$OUT/bsdtar.zip" "${TOP[@]}")
(cd "$TREE" && 7z a -tzip -bd "$OUT/7z.zip" "${TOP[@]}" >/dev/null)
python3 - "$TREE" "$OUT" <<'EOF'
import os, sys, zipfile
tree, out = sys.argv[1], sys.argv[2]

class Unseekable:
    """Without seek and tell, zipfile puts sizes and CRC in data descriptors."""
    def __init__(self, f): self.f = f
    def write(self, data): return self.f.write(data)
    def flush(self): self.f.flush()

paths = []
for folder, dirs, names in os.walk(tree):
    dirs.sort()
    for name in sorted(names):
        paths.append(os.path.relpath(os.path.join(folder, name), tree))
for name, compression, stream in (("py-stored", zipfile.ZIP_STORED, False),
                                  ("py-stream", zipfile.ZIP_DEFLATED, True)):
    with open(os.path.join(out, name + ".zip"), "wb") as target:
        sink = Unseekable(target) if stream else target
        with zipfile.ZipFile(sink, "w", compression=compression) as zf:
            for rel in paths:
                zf.write(os.path.join(tree, rel), rel)
EOF
"$GENERATOR" "$OUT"
ls -l "$OUT"
