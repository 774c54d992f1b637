#!/bin/sh
# Records a small measurement with the simulated logger (with its ground
# truth), converts it with brisca-tool and reads every file back with the
# independent reader.
#   checkmeasure.sh BENCH_DATA BRISCA_TOOL CHECKMEASURE_PY WORKDIR
set -e
if ! command -v python3 >/dev/null 2>&1; then
    echo "python3 is missing: the reader check is skipped"
    exit 77
fi
bench=$1 tool=$2 reader=$3 work=$4
rm -rf "$work"
mkdir -p "$work/csv" "$work/2d"
"$bench" --dump "$work/small.dump" --truth "$work/truth.txt" --small
"$tool" convert "$work/small.dump" --mdf "$work/m3.mdf" --mdf4 "$work/m4.mdf" --csv "$work/csv" --2d "$work/2d" 2>/dev/null
python3 "$reader" --dump "$work/small.dump" --truth "$work/truth.txt" \
    --mdf "$work/m3.mdf" --mdf4 "$work/m4.mdf" --csv "$work/csv" --2d "$work/2d"
