#!/usr/bin/env bash
# Whole-run benchmark of tollwick, with its verdict against each speed target.
#
# Builds a Release binary, the report generator and the reading baseline in build-bench/ of
# the source tree, generates the workloads one after the other in a temporary directory under
# $TMPDIR (or /tmp), times `tollwick --all > /dev/null` in each beside two ways of just reading
# the same files, and prints time, throughput, the ratio to each baseline and the peak
# resident memory. Every workload is deleted once measured; the temporary directory is
# removed on exit.
#
#   W1       200 SKUs,   100,000 purchases,  3 years   (about 50 MB)
#   W3 1/4   2,000 SKUs, 250,000 purchases,  2.5 years
#   W3 1/2   2,000 SKUs, 500,000 purchases,  5 years
#   W2       2,000 SKUs, 1,000,000 purchases, 10 years (about 500 MB; W3 at full size)
#
# Each command runs once to warm the page cache, then RUNS times (default 3); the median is
# reported. The two baselines: plain `cat` of every report file to /dev/null, and
# `tollwick_read_files`, which reads every file with one read() into one reused buffer. The
# W2 target is judged against the faster of the two. Peak memory comes from /usr/bin/time
# when it is installed (Debian package "time"), otherwise from the VmHWM line of
# /proc/PID/status, read while the run goes on.
#
# Targets, each printed with "met" or "MISSED":
#   W2 time at most 3 times the faster baseline (stretch goal: 1.5 times);
#   W2 peak memory at most 150 MB;
#   W3: each doubling of the tree doubles the time within 15 % (ratio 1.70 to 2.30), on the
#       medians of the three sizes;
#   W1 time at most 0.1 s;
#   W2 with --workbook at most 4 times the plain run (stretch goal: 2 times), on the medians of
#      five runs of each taken in turns; its peak memory at most 300 MB.
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
  cmake --build "$build" -j "$jobs" --target tollwick tollwick_generate tollwick_read_files >/dev/null
fi
tollwick="$build/tollwick"
generate="$build/bench/tollwick_generate"
reader="$build/bench/tollwick_read_files"
[[ -x $tollwick && -x $generate && -x $reader ]] || { echo "run_bench.sh: binaries missing in $build" >&2; exit 1; }

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

declare -A result_time result_cat result_reader result_mb result_rss
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

  echo "== $name: timing tollwick --all, cat and the reader, $runs runs each after one warm-up" >&2
  (cd "$dir" && "$tollwick" --all >/dev/null) || {
    echo "run_bench.sh: tollwick failed in $name" >&2
    exit 1
  }
  cat "${files[@]}" >/dev/null
  local t=() c=() r=() i
  for ((i = 0; i < runs; i++)); do
    c+=("$(time_once cat "${files[@]}")")
    r+=("$(time_once "$reader" "${files[@]}")")
    t+=("$(cd "$dir" && time_once "$tollwick" --all)")
  done
  local rss
  rss=$(cd "$dir" && peak_rss_mb "$tollwick" --all)
  result_time[$name]=$(median "${t[@]}")
  result_cat[$name]=$(median "${c[@]}")
  result_reader[$name]=$(median "${r[@]}")
  result_mb[$name]=$(awk -v b="$bytes" 'BEGIN { printf "%.1f\n", b / 1e6 }')
  result_rss[$name]=$rss
  echo "   $name runs: tollwick ${t[*]}; cat ${c[*]}; reader ${r[*]}" >&2
  if [[ $name == W2 ]]; then  # the workbook beside the plain run, taken in turns
    local book="$work/bench.xlsx" p=() w=()
    for ((i = 0; i < 5; i++)); do
      p+=("$(cd "$dir" && time_once "$tollwick" --all)")
      w+=("$(cd "$dir" && time_once "$tollwick" --all --workbook="$book")")
    done
    workbook_plain=$(median "${p[@]}") workbook_time=$(median "${w[@]}")
    workbook_rss=$(cd "$dir" && peak_rss_mb "$tollwick" --all --workbook="$book")
    workbook_mb=$(find "$book" -printf '%s' | awk '{ printf "%.1f", $1 / 1e6 }')
    echo "   W2 runs with --workbook: ${w[*]}; without: ${p[*]}" >&2
  fi
  rows+=("$(awk -v n="$label" -v f="$reports" -v mb="${result_mb[$name]}" \
    -v t="${result_time[$name]}" -v c="${result_cat[$name]}" -v r="${result_reader[$name]}" \
    -v m="$rss" 'BEGIN {
      printf "%-9s %6d %8.1f %10.3f %7.0f %7.3f %8.3f %6.1f %9.1f %7d\n", n, f, mb, t, mb / t, c, r,
        t / c, t / r, m }')")
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
printf '%-9s %6s %8s %10s %7s %7s %8s %6s %9s %7s\n' workload files MB "tollwick s" "MB/s" "cat s" \
  "reader s" "x cat" "x reader" "peak MB"
printf '%s\n' "${rows[@]}"
echo

verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi; }
if [[ -n ${result_time[W2]:-} ]]; then
  t=${result_time[W2]} c=${result_cat[W2]} r=${result_reader[W2]}
  base=$(awk -v c="$c" -v r="$r" 'BEGIN { print (c < r ? c : r) }')
  which=$(awk -v c="$c" -v r="$r" 'BEGIN { print (c < r ? "cat" : "the reader") }')
  ratio=$(awk -v t="$t" -v b="$base" 'BEGIN { printf "%.2f", t / b }')
  echo "W2 time: $t s; cat $c s, reader $r s; ${ratio}x the faster ($which)"
  echo "  target at most 3x: $(verdict "$ratio <= 3"); stretch goal at most 1.5x: $(verdict "$ratio <= 1.5")"
  echo "W2 peak memory: ${result_rss[W2]} MB; target at most 150 MB: $(verdict "${result_rss[W2]} <= 150")"
fi
if [[ -n ${result_time[W3q]:-} && -n ${result_time[W2]:-} ]]; then
  q=${result_time[W3q]} h=${result_time[W3h]} f=${result_time[W2]}
  line=$(awk -v q="$q" -v h="$h" -v f="$f" -v mq="${result_mb[W3q]}" \
    -v mh="${result_mb[W3h]}" -v mf="${result_mb[W2]}" 'BEGIN {
      printf "%.3f s, %.3f s, %.3f s; doubling ratios %.2f and %.2f;", q, h, f, h / q, f / h
      printf " ms per MB %.2f, %.2f, %.2f", 1000 * q / mq, 1000 * h / mh, 1000 * f / mf }')
  echo "W3 at 1/4, 1/2, full (medians of $runs): $line"
  echo "  target each doubling ratio 1.70 to 2.30: $(verdict "$h / $q >= 1.7 && $h / $q <= 2.3 && $f / $h >= 1.7 && $f / $h <= 2.3")"
fi
if [[ -n ${workbook_time:-} ]]; then
  ratio=$(awk -v w="$workbook_time" -v p="$workbook_plain" 'BEGIN { printf "%.2f", w / p }')
  echo "W2 with --workbook: $workbook_time s against $workbook_plain s without (medians of 5 in" \
    "turns), ${ratio}x; a $workbook_mb MB workbook"
  echo "  target at most 4x: $(verdict "$ratio <= 4"); stretch goal at most 2x: $(verdict "$ratio <= 2")"
  echo "W2 with --workbook peak memory: $workbook_rss MB; target at most 300 MB: $(verdict "$workbook_rss <= 300")"
fi
if [[ -n ${result_time[W1]:-} ]]; then
  echo "W1 time: ${result_time[W1]} s; target at most 0.1 s: $(verdict "${result_time[W1]} <= 0.1")"
fi
