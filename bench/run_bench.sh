#!/usr/bin/env bash
# Whole-run benchmark of tollwick.
#
# Builds a Release binary and the report generator in build-bench/ of the source tree,
# generates the workloads one after the other in a temporary directory under $TMPDIR (or
# /tmp), times `tollwick --all > /dev/null` in each beside `cat` of the same files, and prints
# time, throughput, the ratio to cat and the peak resident memory. Every workload is deleted
# once measured; the temporary directory is removed on exit.
#
#   W1       200 SKUs,   100,000 purchases,  3 years   (about 50 MB)
#   W3 1/4   2,000 SKUs, 250,000 purchases,  2.5 years
#   W3 1/2   2,000 SKUs, 500,000 purchases,  5 years
#   W2       2,000 SKUs, 1,000,000 purchases, 10 years (about 500 MB; W3 at full size)
#
# Each command runs once to warm the page cache, then RUNS times (default 3); the median is
# reported. The ratio is taken against `cat` whose per-file buffer comes from the heap
# (GLIBC_TUNABLES mmap_threshold): plain GNU cat allocates and frees a 128 KiB buffer per
# file, which on some virtual machines costs a slow munmap per file and makes cat several
# times slower than reading the bytes. Plain cat is shown beside it. Peak memory comes from
# /usr/bin/time when it is installed (Debian package "time"), otherwise from the VmHWM line
# of /proc/PID/status, read while the run goes on.
#
# Usage: bench/run_bench.sh [--runs N] [--only W1|W2|W3] [--keep] [--no-build]
set -euo pipefail
export LC_ALL=C  # "." as the decimal point of EPOCHREALTIME and printf

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TOLLWICK_BENCH_BUILD:-$root/build-bench}"
runs=3
only=""
keep=0
do_build=1
while (($#)); do
  case "$1" in
    --runs) runs=${2:?}; shift 2 ;;
    --only) only=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    --no-build) do_build=0; shift ;;
    -h | --help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "run_bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

jobs=$(nproc 2>/dev/null || echo 2)
((jobs > 2)) && jobs=2
if ((do_build)); then
  echo "== building Release binary in $build" >&2
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLWICK_BENCH=ON \
    -DTOLLWICK_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target tollwick tollwick_generate >/dev/null
fi
tollwick="$build/tollwick"
generate="$build/bench/tollwick_generate"
[[ -x $tollwick && -x $generate ]] || { echo "run_bench.sh: binaries missing in $build" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tollwick-bench.XXXXXX")
cleanup() {
  if ((keep)); then echo "data kept in $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

gnu_time=""
if [[ -z ${TOLLWICK_BENCH_NO_GNU_TIME:-} && -x /usr/bin/time ]] && /usr/bin/time -f %M -o /dev/null true 2>/dev/null; then
  gnu_time=/usr/bin/time
else
  echo "note: /usr/bin/time not found (apt-get install time); peak RSS read from /proc" >&2
fi

now() {
  if [[ -n ${EPOCHREALTIME:-} ]]; then echo "$EPOCHREALTIME"; else date +%s.%N; fi
}

# Seconds taken by one run of the given command, its output thrown away.
time_once() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Peak resident set of one run, in MB.
peak_rss_mb() {
  local kb=0
  if [[ -n $gnu_time ]]; then
    "$gnu_time" -f %M -o "$work/rss" "$@" >/dev/null
    kb=$(tail -n 1 "$work/rss")
  else
    "$@" >/dev/null &
    local pid=$! key value rest
    while [[ -r /proc/$pid/status ]]; do
      while read -r key value rest; do
        [[ $key == VmHWM: ]] && ((value > kb)) && kb=$value
      done <"/proc/$pid/status" 2>/dev/null || true
      sleep 0.01
    done
    wait "$pid"
  fi
  awk -v k="$kb" 'BEGIN { printf "%.0f\n", k / 1024 }'
}

heap_cat() { GLIBC_TUNABLES=glibc.malloc.mmap_threshold=4194304 cat "$@"; }

declare -A result_time result_cat result_plain result_mb result_rss
rows=()

measure() {  # name, label, generator arguments...
  local name=$1 label=$2
  shift 2
  local dir="$work/$name"
  echo "== $name: generating ($*)" >&2
  "$generate" "$@" "$dir" >&2
  local files=()
  mapfile -d '' files < <(find "$dir" -type f -print0 | sort -z)
  local reports bytes
  reports=$(printf '%s\n' "${files[@]}" | grep -ciE '\.(xml|zip)$' || true)
  bytes=$(find "$dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')

  echo "== $name: timing tollwick --all and cat, $runs runs each after one warm-up" >&2
  (cd "$dir" && "$tollwick" --all >/dev/null) || {
    echo "run_bench.sh: tollwick failed in $name" >&2
    exit 1
  }
  cat "${files[@]}" >/dev/null
  local t=() c=() p=() i
  for ((i = 0; i < runs; i++)); do
    c+=("$(time_once heap_cat "${files[@]}")")
    p+=("$(time_once cat "${files[@]}")")
    t+=("$(cd "$dir" && time_once "$tollwick" --all)")
  done
  local rss
  rss=$(cd "$dir" && peak_rss_mb "$tollwick" --all)
  result_time[$name]=$(median "${t[@]}")
  result_cat[$name]=$(median "${c[@]}")
  local plain
  plain=$(median "${p[@]}")
  result_plain[$name]=$plain
  result_mb[$name]=$(awk -v b="$bytes" 'BEGIN { printf "%.1f\n", b / 1e6 }')
  result_rss[$name]=$rss
  rows+=("$(awk -v n="$label" -v f="$reports" -v mb="${result_mb[$name]}" \
    -v t="${result_time[$name]}" -v c="${result_cat[$name]}" -v p="$plain" -v r="$rss" 'BEGIN {
      printf "%-9s %6d %8.1f %11.3f %8.0f %8.3f %7.1f %9d %12.3f\n", n, f, mb, t, mb / t, c, t / c, r, p }')")
  ((keep)) || rm -rf "$dir"
}

want() { [[ -z $only || $only == "$1" ]]; }
want W1 && measure W1 W1 --skus 200 --purchases 100000 --years 3
if want W2 || want W3; then
  want W3 && measure W3q "W3 1/4" --skus 2000 --purchases 250000 --years 2.5
  want W3 && measure W3h "W3 1/2" --skus 2000 --purchases 500000 --years 5
  measure W2 W2 --skus 2000 --purchases 1000000 --years 10
fi

echo
echo "$("$tollwick" --version | tr -d '\r'), $(nproc 2>/dev/null || echo '?') cores," \
  "median of $runs warm runs, all sections on"
printf '%-9s %6s %8s %11s %8s %8s %7s %9s %12s\n' workload files MB "tollwick s" "MB/s" "cat s" \
  "x cat" "RSS MB" "plain cat s"
printf '%s\n' "${rows[@]}"
echo

verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi; }
if [[ -n ${result_time[W1]:-} ]]; then
  echo "W1 full run under 0.5 s: ${result_time[W1]} s, $(verdict "${result_time[W1]} < 0.5")"
fi
if [[ -n ${result_time[W2]:-} ]]; then
  ratio=$(awk -v t="${result_time[W2]}" -v c="${result_cat[W2]}" 'BEGIN { printf "%.1f", t / c }')
  plain=$(awk -v t="${result_time[W2]}" -v c="${result_plain[W2]}" 'BEGIN { printf "%.1f", t / c }')
  echo "W2 within 3x cat: ${ratio}x cat with a heap buffer, $(verdict "$ratio <= 3");" \
    "${plain}x plain cat, $(verdict "$plain <= 3")"
  echo "W2 peak RSS under 1.5 GB: ${result_rss[W2]} MB, $(verdict "${result_rss[W2]} < 1536")"
fi
if [[ -n ${result_time[W3q]:-} && -n ${result_time[W2]:-} ]]; then
  q=${result_time[W3q]} h=${result_time[W3h]} f=${result_time[W2]}
  line=$(awk -v q="$q" -v h="$h" -v f="$f" -v mq="${result_mb[W3q]}" \
    -v mh="${result_mb[W3h]}" -v mf="${result_mb[W2]}" 'BEGIN {
      printf "%.3f s, %.3f s, %.3f s; doubling ratios %.2f and %.2f (2.00 is linear);", q, h, f, h / q, f / h
      printf " ms per MB %.2f, %.2f, %.2f", 1000 * q / mq, 1000 * h / mh, 1000 * f / mf }')
  echo "W3 time at 1/4, 1/2, full: $line"
  echo "W3 linear (each doubling ratio 1.6 to 2.4): $(verdict "$h / $q >= 1.6 && $h / $q <= 2.4 && $f / $h >= 1.6 && $f / $h <= 2.4")"
fi
