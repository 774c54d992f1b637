#!/bin/sh
# Records a small measurement with the simulated logger (with its ground
# truth), converts it with brisca-tool and reads every file back with the
# independent reader; then the same for a download cut in the middle of the
# last run.
#   checkmeasure.sh BENCH_DATA BRISCA_TOOL CHECKMEASURE_PY WORKDIR
set -e
if ! command -v python3 >/dev/null 2>&1; then
    echo "python3 is missing: the reader check is skipped"
    exit 77
fi
bench=$1 tool=$2 reader=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
"$bench" --dump "$work/full.dump" --truth "$work/truth.txt" --small
# The cut dump: bytes downloaded (big-endian at 24) 777 short of the data.
python3 -c "
import struct, sys
b = bytearray(open(sys.argv[1], 'rb').read())
struct.pack_into('>I', b, 24, struct.unpack_from('>I', b, 24)[0] - 777)
open(sys.argv[2], 'wb').write(b)" "$work/full.dump" "$work/cut.dump"
for d in full cut; do
    mkdir -p "$work/$d/csv" "$work/$d/2d"
    "$tool" convert "$work/$d.dump" --mdf "$work/$d/m3.mdf" --mdf4 "$work/$d/m4.mdf" --csv "$work/$d/csv" \
        --2d "$work/$d/2d" 2>/dev/null
    python3 "$reader" --dump "$work/$d.dump" --truth "$work/truth.txt" \
        --mdf "$work/$d/m3.mdf" --mdf4 "$work/$d/m4.mdf" --csv "$work/$d/csv" --2d "$work/$d/2d"
done
