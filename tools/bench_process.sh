#!/usr/bin/env bash
# Whole-process benchmark of ferrule against a durable copy of the same file.
#
#  1. Generates a kinematic observation file (256 MiB by default).
#  2. Paired runs A B A B ...: A is `ferrule FILE`, B is `dd if=FILE of=COPY bs=1M conv=fsync`.
#     Each run works on a fresh copy of the input, made (and synced to the disk) untimed.
#     Reports every pair's wall times and ratio A/B, and the median, lowest and highest ratio.
#  3. ferrule's peak resident memory on that file (/usr/bin/time -v).
#  4. ferrule's instructions per input byte on a 16 MiB kinematic file:
#     valgrind --tool=callgrind --callgrind-out-file=/dev/null ferrule FILE, total Collected
#     divided by the file's size.
#  5. With --large, ferrule's peak resident memory on a 2 GiB file (10 Hz, so that its
#     occupations stay within the 2049 site identifiers).
#  6. With --floor, each pair also times the floor program (bench/floor_copy.cpp: read, find the
#     line feeds, write, fsync, rename, without converting) and its ratio to dd: what no
#     converter can beat on this machine. It is built by cmake --workflow --preset bench.
#
# Usage: tools/bench_process.sh [--pairs N] [--size-mb M] [--large] [--floor] [--build DIR]
#                               [--work DIR]
#   --build DIR  build tree holding ferrule and tools/generate/ferrule-generate
#                (default build/release: cmake --workflow --preset test builds it)
#   --work DIR   where the files go, on the disk to measure (default build/bench-process);
#                it needs about 4 times the file size free, 10 GiB with --large
# Needs: dd, /usr/bin/time (Debian package time), valgrind. Wall times on a shared machine are
# noisy: look at the spread, and at the load printed at the start.
set -euo pipefail
cd "$(dirname "$0")/.."

pairs=7
size_mb=256
large=0
floor=0
build=build/release
work=build/bench-process
while [ $# -gt 0 ]; do
    case "$1" in
        --pairs) pairs="$2"; shift 2 ;;
        --size-mb) size_mb="$2"; shift 2 ;;
        --large) large=1; shift ;;
        --floor) floor=1; shift ;;
        --build) build="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown argument: $1 (try --help)" >&2; exit 2 ;;
    esac
done

ferrule="$build/ferrule"
generate="$build/tools/generate/ferrule-generate"
for tool in "$ferrule" "$generate"; do
    [ -x "$tool" ] || { echo "missing $tool: build first (cmake --workflow --preset test)" >&2; exit 1; }
done
floor_copy=build/bench/bench/ferrule_floor_copy
if [ "$floor" -eq 1 ] && [ ! -x "$floor_copy" ]; then
    echo "missing $floor_copy: build it first (cmake --workflow --preset bench)" >&2; exit 1
fi
for tool in dd /usr/bin/time valgrind; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
mkdir -p "$work"

# Wall time of a command in seconds, its output discarded; stops the script if it fails.
timed() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

# The median, lowest and highest of the numbers on standard input.
spread() {
    sort -g | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "median %.3f (lowest %.3f, highest %.3f, %d values)", m, v[1], v[NR], NR }'
}

fresh_copy() {
    rm -f "$work/run.19o" "$work/run.19o_original" "$work/run.19o_temp" "$work/copy.out"
    cp "$1" "$work/run.19o"
    sync
}

peak_rss_kib() {
    fresh_copy "$1"
    /usr/bin/time -v "$ferrule" "$work/run.19o" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident set size/ { print $2 }'
}

echo "ferrule whole-process benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "load: $(uptime | sed 's/.*load average/load average/')"
echo "binary: $ferrule"

input="$work/input.19o"
"$generate" --seed 1 --size-mb "$size_mb" "$input" 2>/dev/null
bytes=$(stat -c %s "$input")
echo "input: $input, $bytes bytes (kinematic, seed 1, 7 types)"
echo
echo "pair  ferrule_s  dd_s    ratio$([ "$floor" -eq 1 ] && echo "  floor_s  floor/dd")"
ratios=()
ferrule_times=()
dd_times=()
floor_ratios=()
for i in $(seq 1 "$pairs"); do
    fresh_copy "$input"
    a=$(timed "$ferrule" "$work/run.19o")
    fresh_copy "$input"
    b=$(timed dd if="$work/run.19o" of="$work/copy.out" bs=1M conv=fsync)
    r=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')
    printf "%4d  %9s  %6s  %s" "$i" "$a" "$b" "$r"
    if [ "$floor" -eq 1 ]; then
        fresh_copy "$input"
        c=$(timed "$floor_copy" "$work/run.19o")
        f=$(awk -v c="$c" -v b="$b" 'BEGIN { printf "%.3f", c / b }')
        printf "  %7s  %s" "$c" "$f"
        floor_ratios+=("$f")
    fi
    printf "\n"
    ratios+=("$r")
    ferrule_times+=("$a")
    dd_times+=("$b")
done
fresh_copy "$input"
rm -f "$work/run.19o"
echo
echo "ratio ferrule/dd: $(printf '%s\n' "${ratios[@]}" | spread)"
echo "ferrule seconds:  $(printf '%s\n' "${ferrule_times[@]}" | spread)"
echo "dd seconds:       $(printf '%s\n' "${dd_times[@]}" | spread)"
if [ "$floor" -eq 1 ]; then
    echo "ratio floor/dd:   $(printf '%s\n' "${floor_ratios[@]}" | spread)"
fi

echo "peak RSS on $bytes bytes: $(peak_rss_kib "$input") KiB"

small="$work/k16.19o"
"$generate" --seed 1 --size-mb 16 "$small" 2>/dev/null
small_bytes=$(stat -c %s "$small")
fresh_copy "$small"
collected=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$ferrule" "$work/run.19o" 2>&1 |
    awk '/Collected/ { print $NF }')
echo "instructions: $collected for $small_bytes bytes = $(awk -v c="$collected" -v b="$small_bytes" 'BEGIN { printf "%.3f", c / b }') per byte"

if [ "$large" -eq 1 ]; then
    big="$work/large.19o"
    "$generate" --seed 1 --size-mb 2048 --rate 10 "$big" 2>/dev/null
    echo "peak RSS on $(stat -c %s "$big") bytes (10 Hz): $(peak_rss_kib "$big") KiB"
    rm -f "$big"
fi
rm -f "$work/run.19o" "$work/run.19o_original" "$work/copy.out"
