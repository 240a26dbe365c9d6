#!/usr/bin/env bash
# The README's recipe for many pairs: one yuvlumo-cli compare per pair under
# GNU parallel, the JSON reports merged with jq. Checks the merged summary
# against single runs, and that a bad pair is counted in parallel's exit
# status. Exit 77 (skipped) when parallel or jq is missing.
#   parallel_compare.sh YUVLUMO_CLI
set -euo pipefail
cli=$(realpath "${1:?usage: parallel_compare.sh YUVLUMO_CLI}")
for tool in parallel jq; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Three 64x48 I420 pairs of 2 frames (4608 bytes each); one name has a space.
frame=$((64 * 48 * 3 / 2))
names=(first "second pair" third)
for name in "${names[@]}"; do
  head -c $((2 * frame)) /dev/urandom >"$name.ref.yuv"
  head -c $((2 * frame)) /dev/urandom >"$name.dec.yuv"
  printf '%s\t%s\n' "$name.ref.yuv" "$name.dec.yuv" >>pairs.txt
done

mkdir out
parallel --will-cite --colsep '\t' "$cli" compare {1} {2} --size 64x48 --jobs 1 --format json -o out/{#}.json \
  :::: pairs.txt
jq -s 'map({a: .a.path, b: .b.path, frames: .summary.frames, psnr_y: .summary.mean.psnr_y,
            ssim: .summary.mean.ssim}) | sort_by(.a)' out/*.json >merged.json

fail=0
[ "$(jq length merged.json)" = 3 ] || { echo "merged $(jq length merged.json) reports, not 3"; fail=1; }
for name in "${names[@]}"; do
  single=$("$cli" compare "$name.ref.yuv" "$name.dec.yuv" --size 64x48 --format json |
           jq -c '{frames: .summary.frames, psnr_y: .summary.mean.psnr_y, ssim: .summary.mean.ssim}')
  merged=$(jq -c --arg a "$name.ref.yuv" '.[] | select(.a == $a) | {frames, psnr_y, ssim}' merged.json)
  [ "$single" = "$merged" ] || { echo "$name: merged $merged, single run $single"; fail=1; }
done

# A missing file fails its own job only; parallel's exit status counts it.
printf '%s\t%s\n' missing.yuv third.dec.yuv >>pairs.txt
status=0
parallel --will-cite --colsep '\t' "$cli" compare {1} {2} --size 64x48 --jobs 1 --format json -o out2-{#}.json \
  :::: pairs.txt 2>/dev/null || status=$?
[ "$status" = 1 ] || { echo "parallel exited $status with one bad pair, not 1"; fail=1; }
[ "$(ls out2-*.json | wc -l)" = 3 ] || { echo "the good pairs did not all write their reports"; fail=1; }
exit "$fail"
