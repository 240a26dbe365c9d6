#!/usr/bin/env bash
# compare --jobs N runs at most N + 2 threads, for raw and Y4M inputs,
# whatever the core count: the peak of /proc/PID/status's Threads, sampled
# while a run over 1080p frames (every metric) is under way.
#   thread_bound.sh YUVLUMO_CLI
set -euo pipefail
cli=$(realpath "${1:?usage: thread_bound.sh YUVLUMO_CLI}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
frame=$((1920 * 1080 * 3 / 2))
head -c $((4 * frame)) /dev/urandom >a.yuv
head -c $((4 * frame)) /dev/urandom >b.yuv
{
  printf 'YUV4MPEG2 W1920 H1080 F25:1 C420jpeg\n'
  for i in 0 1 2 3; do printf 'FRAME\n'; dd if=a.yuv bs=$frame skip=$i count=1 status=none; done
} >a.y4m

peak_of() {
  "$cli" compare "$@" --metrics every --format csv -o out.csv &
  local pid=$! peak=0 t
  while kill -0 $pid 2>/dev/null; do
    t=$(awk '/^Threads:/{print $2}' /proc/$pid/status 2>/dev/null || true)
    [[ -n "$t" && "$t" -gt "$peak" ]] && peak=$t
    sleep 0.002
  done
  wait $pid
  echo "$peak"
}

status=0
for jobs in 1 2 8; do
  for input in a.yuv a.y4m; do
    peak=$(peak_of "$input" b.yuv --size 1920x1080 --jobs $jobs)
    echo "--jobs $jobs, $input: peak $peak threads"
    if (( peak > jobs + 2 )); then
      echo "FAIL: more than $((jobs + 2)) threads"
      status=1
    fi
  done
done
exit $status
