#!/usr/bin/env bash
# Crawl benchmark: Fotoloom's headless crawl against wget on a local gallery site
# served by bench/crawl_site. Each contender gets a fresh site process (so the site's
# counters are its own), a fresh home or output folder, and its saved pictures are
# checked byte for byte against the site's manifest.
#
#   bench/crawl_bench.sh [A] [B] [C]      (default: all three)
#
# Environment: BUILD (build folder, default build), RUNS (runs per scenario, default 2),
# LIMIT (seconds a contender may take, default 1200), KEEP=1 keeps the work folder, QUICK=1 crawls sites of 2 galleries only (a smoke test).
#
#   A  the paced scheduler (no --eager) on 10 galleries x 20 pictures of 70 KB, 100 ms
#      latency: the pictures started per second against the bound of one per 500 ms tick,
#      and the whole crawl against the shortest crawl the ticks allow.
#   B  --eager against wget, 50 x 20 pictures of 70 KB, 100 ms latency: time ratio.
#   C  pictures of 300 KB, half of them 200x150 (below the default minimum width of 320),
#      1 MB/s per connection, 100 ms latency: body bytes the site wrote to Fotoloom
#      (--eager) against the bytes it wrote to wget.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
runs=${RUNS:-2}
# a contender that has not finished by then has failed
limit=${LIMIT:-1200}
fotoloom=$build/bin/fotoloom
site=$build/bin/crawl_site
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(A B C)

for program in "$fotoloom" "$site"; do
  if [ ! -x "$program" ]; then
    echo "crawl_bench: $program is missing; build it with: ninja -C $build fotoloom crawl_site" >&2
    exit 2
  fi
done
if ! command -v wget > /dev/null; then
  "$root/scripts/install-deps.sh"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/crawl_bench.XXXXXX")
site_pid=
site_fd=
cleanup() {
  if [ -n "$site_fd" ]; then exec {site_fd}>&-; fi
  if [ -n "$site_pid" ] && kill -0 "$site_pid" 2> /dev/null; then
    kill -TERM "$site_pid" 2> /dev/null || true
    wait "$site_pid" 2> /dev/null || true
  fi
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# value KEY LINE: the value of KEY in a line of key=value pairs
value() {
  tr ' ' '\n' <<< "$2" | awk -F= -v k="$1" '$1 == k { print $2; exit }'
}

# calc EXPRESSION: floating-point arithmetic through awk
calc() {
  awk "BEGIN { printf \"%.3f\", $1 }"
}

# start_site DIR SITE-OPTIONS...: the site serves in the background; sets port
start_site() {
  local dir=$1
  shift
  mkdir -p "$dir"
  mkfifo "$dir/site.in"
  "$site" --manifest "$dir/manifest.txt" --log "$dir/requests.log" "$@" \
    < "$dir/site.in" > "$dir/site.out" 2> "$dir/site.err" &
  site_pid=$!
  exec {site_fd}> "$dir/site.in"
  local waited=0
  until grep -q '^port=' "$dir/site.out" 2> /dev/null; do
    if ! kill -0 "$site_pid" 2> /dev/null || [ $waited -ge 1200 ]; then
      echo "crawl_bench: the site did not start:" >&2
      cat "$dir/site.err" >&2
      exit 1
    fi
    sleep 0.05
    waited=$((waited + 1))
  done
  port=$(value port "$(head -n 1 "$dir/site.out")")
}

# stop_site DIR: closes the site's input and reads its counters into counters
stop_site() {
  local dir=$1
  exec {site_fd}>&-
  site_fd=
  wait "$site_pid" || fail "the site ended with status $?"
  site_pid=
  counters=$(sed -n 2p "$dir/site.out")
  [ -n "$counters" ] || fail "the site printed no counters"
}

# check_saved FOLDER MANIFEST KINDS: every picture of the kinds (a regular expression
# over wide|narrow) saved once, byte for byte, and nothing else saved
check_saved() {
  local folder=$1 manifest=$2 kinds=$3
  local expected=$work/expected.$$ saved=$work/saved.$$
  awk -v k="^($kinds)\$" '$3 ~ k { print $1 }' "$manifest" | sort > "$expected"
  find "$folder" -name '*.jpg' -not -path '*/Info/*' -type f -print0 | xargs -0 -r md5sum | awk '{ print $1 }' | sort > "$saved"
  saved_count=$(wc -l < "$saved")
  local want
  want=$(wc -l < "$expected")
  if ! cmp -s "$expected" "$saved"; then
    fail "$folder: $saved_count pictures saved, $want expected; $(comm -23 "$expected" "$saved" | wc -l) missing," \
      "$(comm -13 "$expected" "$saved" | wc -l) not the site's or saved twice"
    check_ok=no
  else
    check_ok=yes
  fi
  rm -f "$expected" "$saved"
}

# run_fotoloom DIR [--eager]: crawls the running site with a fresh home; sets seconds
run_fotoloom() {
  local dir=$1
  shift
  local start end status=0
  start=$EPOCHREALTIME
  timeout -s INT -k 30 "$limit" "$fotoloom" --home "$dir/home" crawl "http://127.0.0.1:$port/" "$@" 2> "$dir/fotoloom.err" || status=$?
  end=$EPOCHREALTIME
  seconds=$(calc "$end - $start")
  [ $status -eq 0 ] || fail "fotoloom ended with status $status (see $dir/fotoloom.err)"
  grep -q '^Process Finished' "$dir/fotoloom.err" || fail "fotoloom did not finish its crawl"
}

# run_wget DIR: mirrors the running site into a fresh folder; sets seconds
run_wget() {
  local dir=$1
  local start end status=0
  start=$EPOCHREALTIME
  timeout -k 30 "$limit" wget -r -l inf -np -A jpg,html -q -P "$dir/out" "http://127.0.0.1:$port/" 2> "$dir/wget.err" || status=$?
  end=$EPOCHREALTIME
  seconds=$(calc "$end - $start")
  [ $status -eq 0 ] || fail "wget ended with status $status (see $dir/wget.err)"
}

# contender NAME DIR SITE-OPTIONS...: one contender on a fresh site, with its check;
# leaves seconds, counters and check_ok
contender() {
  local name=$1 dir=$2
  shift 2
  start_site "$dir" "$@"
  case $name in
    fotoloom) run_fotoloom "$dir" ;;
    fotoloom-eager) run_fotoloom "$dir" --eager ;;
    wget) run_wget "$dir" ;;
  esac
  stop_site "$dir"
  local kinds='wide|narrow'
  case $name in fotoloom*) kinds=wide ;; esac
  check_saved "$dir" "$dir/manifest.txt" "$kinds"
}

line() { printf '%s\n' "------------------------------------------------------------------------------------------------"; }

scenario_a() {
  local galleries=10 pictures=20 n
  [ "${QUICK:-0}" != 1 ] || galleries=2
  n=$((galleries * pictures))
  # one picture per tick at most, and none before the tick after the document that
  # revealed it: tick 1 the catalogue, tick 2 a gallery, tick 3 a picture's link read as
  # a document, ticks 4..n+3 the pictures, tick n+4 finds nothing to start, tick n+5 ends
  local ticks=$((n + 5))
  local shortest
  shortest=$(calc "$ticks * 0.5")
  echo
  echo "A. Paced scheduler (no --eager): $galleries galleries x $pictures pictures of 70 KB, 100 ms latency"
  echo "   bound while pictures wait: 1 picture per 500 ms tick = 2.000 pictures/s;"
  echo "   shortest crawl: $n pictures + 5 ticks = $ticks ticks = $shortest s"
  line
  printf '%-4s %9s %9s %12s %10s %10s %12s %9s %6s\n' run "time s" "pic fetch" "pictures/s" "tick ms" "rate/bnd" "shortest/t" requests saved
  line
  local run
  for run in $(seq 1 "$runs"); do
    local dir=$work/A.$run
    contender fotoloom "$dir" --galleries $galleries --pictures $pictures --kb 70 --latency 100
    local k first last rate tick
    k=$(value repeat_picture_requests "$counters")
    first=$(value repeat_first_ms "$counters")
    last=$(value repeat_last_ms "$counters")
    rate=$(calc "($k - 1) * 1000 / ($last - $first)")
    tick=$(calc "($last - $first) / ($k - 1)")
    printf '%-4s %9s %9s %12s %10s %10s %12s %9s %6s\n' "$run" "$seconds" "$k" "$rate" "$tick" \
      "$(calc "$rate / 2")" "$(calc "$shortest / $seconds")" "$(value requests "$counters")" "$saved_count/$n"
    summary_a+=("$(calc "$rate / 2")")
  done
  line
  echo "   pic fetch: requests for a picture after its first (the picture fetch after the link was read as a"
  echo "   document); pictures/s and tick ms from the first to the last of them, on the site's clock."
}

scenario_b() {
  local galleries=50 pictures=20 n
  [ "${QUICK:-0}" != 1 ] || galleries=2
  n=$((galleries * pictures))
  echo
  echo "B. Eager slots against wget: $galleries galleries x $pictures pictures of 70 KB, 100 ms latency"
  line
  printf '%-4s %-15s %9s %10s %14s %12s %6s\n' run contender "time s" requests "body bytes" pictures/s saved
  line
  local run order who
  for run in $(seq 1 "$runs"); do
    # the contenders take turns at going first
    if [ $((run % 2)) -eq 1 ]; then order="fotoloom-eager wget"; else order="wget fotoloom-eager"; fi
    local tf= tw=
    for who in $order; do
      local dir=$work/B.$run.$who
      contender "$who" "$dir" --galleries $galleries --pictures $pictures --kb 70 --latency 100
      printf '%-4s %-15s %9s %10s %14s %12s %6s\n' "$run" "$who" "$seconds" "$(value requests "$counters")" \
        "$(value body_bytes "$counters")" "$(calc "$n / $seconds")" "$saved_count/$n"
      if [ "$who" = wget ]; then tw=$seconds; else tf=$seconds; fi
    done
    printf '%-4s %-15s %9s\n' "$run" "ratio F/W" "$(calc "$tf / $tw")"
    summary_b+=("$(calc "$tf / $tw")")
  done
  line
}

scenario_c() {
  local galleries=5 pictures=20 n wide
  [ "${QUICK:-0}" != 1 ] || galleries=2
  n=$((galleries * pictures))
  wide=$((n / 2))
  echo
  echo "C. Dimension test: $galleries x $pictures pictures of 300 KB, half of them 200x150, 1 MB/s (1000000 B/s)"
  echo "   per connection, 100 ms latency; Fotoloom with --eager, default minimum width 320"
  line
  printf '%-4s %-15s %9s %10s %14s %14s %14s %6s\n' run contender "time s" requests "body bytes" "picture bytes" "wire bytes" saved
  line
  local run order who
  for run in $(seq 1 "$runs"); do
    if [ $((run % 2)) -eq 1 ]; then order="fotoloom-eager wget"; else order="wget fotoloom-eager"; fi
    local bf= bw= want
    for who in $order; do
      local dir=$work/C.$run.$who
      contender "$who" "$dir" --galleries $galleries --pictures $pictures --kb 300 --narrow 0.5 --latency 100 \
        --throttle 1000000
      if [ "$who" = wget ]; then want=$n; else want=$wide; fi
      printf '%-4s %-15s %9s %10s %14s %14s %14s %6s\n' "$run" "$who" "$seconds" "$(value requests "$counters")" \
        "$(value body_bytes "$counters")" "$(value picture_body_bytes "$counters")" "$(value wire_bytes "$counters")" \
        "$saved_count/$want"
      if [ "$who" = wget ]; then bw=$(value body_bytes "$counters"); else bf=$(value body_bytes "$counters"); fi
    done
    printf '%-4s %-15s %9s\n' "$run" "bytes F/W" "$(calc "$bf / $bw")"
    summary_c+=("$(calc "$bf / $bw")")
  done
  line
}

summary_a=()
summary_b=()
summary_c=()
echo "Crawl benchmark: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $runs runs per scenario"
echo "fotoloom: $fotoloom"
echo "wget:     $(command -v wget) ($(wget --version | head -n 1))"
for s in "${scenarios[@]}"; do
  case $s in
    A | a) scenario_a ;;
    B | b) scenario_b ;;
    C | c) scenario_c ;;
    *) echo "crawl_bench: unknown scenario '$s' (A, B or C)" >&2; exit 2 ;;
  esac
done

echo
echo "Summary (each run; target in brackets)"
[ ${#summary_a[@]} -eq 0 ] || echo "  A  measured/bound pictures per second:  ${summary_a[*]}  [>= 0.90]"
[ ${#summary_b[@]} -eq 0 ] || echo "  B  Fotoloom --eager time / wget time:    ${summary_b[*]}  [<= 0.60]"
[ ${#summary_c[@]} -eq 0 ] || echo "  C  Fotoloom body bytes / wget bytes:     ${summary_c[*]}  [<= 0.65]"
if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "  every contender saved exactly the pictures it should, byte for byte"
