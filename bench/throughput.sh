#!/bin/bash
# Data throughput of qvp_nc_handler, as ratios against references measured in
# the same run (best of $QVP_BENCH_RUNS runs each, default 3, page cache warm):
#   - a data response for a whole ~1 GiB variable of a classic file (Float32,
#     Float64, Int32, Int16), written by the handler into a pipe, against
#     `cat` of the file into the same kind of pipe; with the handler's peak
#     resident size. Budgets: 0.9 of cat for 4- and 8-byte types, 0.6 for
#     Int16 (whose values are widened to 4 bytes: twice the bytes), 64 MiB.
#   - a netCDF-4 Float32 variable (chunks of 256 x 1024), uncompressed and
#     deflated, whole: GB/s of response, and against cat of the classic file.
#   - the Float32 data response through lighttpd and qvp_dispatch against the
#     same number of bytes served as a static file. Budget: 0.7.
# With QVP_REF_HANDLER set to another build's qvp_nc_handler, each handler
# figure is also given for that one, so that a change can be measured.
# Files are generated in a temporary directory (about 1 GiB at a time) and
# deleted. QVP_THROUGHPUT_ROWS (default 16384) scales the classic files;
# QVP_THROUGHPUT_PARTS (default "classic nc4 web") picks the parts to run.
source "$(dirname "$0")/bench_env.sh"
runs=${QVP_BENCH_RUNS:-3}
rows=${QVP_THROUGHPUT_ROWS:-16384}
ref=${QVP_REF_HANDLER:-}
parts=" ${QVP_THROUGHPUT_PARTS:-classic nc4 web} "
want() { [[ $parts == *" $1 "* ]]; }
lighttpd_bin=$(command -v lighttpd || echo /usr/sbin/lighttpd)
cc -O2 -o "$work/nc_bigvar" "$src/bench/nc_bigvar.c" -lnetcdf -lm
mkdir -p "$work/data" "$work/htdocs"

# best CMD...: the shortest wall-clock time of $runs runs of CMD, in seconds.
best() {
  local b=""
  for _ in $(seq "$runs"); do
    local s e
    s=$(date +%s.%N)
    "$@"
    e=$(date +%s.%N)
    b=$(python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); b=sys.argv[3]; print(t if not b else min(t, float(b)))" "$s" "$e" "$b")
  done
  echo "$b"
}
cat_pipe() { cat "$1" | cat > /dev/null; }
handler_pipe() { "$1" -o DataDDS "$2" | cat > /dev/null; }
peak_mib() {
  /usr/bin/time -f %M -o "$work/peak" "$1" -o DataDDS "$2" > /dev/null
  echo $(($(cat "$work/peak") / 1024))
}
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
gbps() { python3 -c "import sys; print('%.2f' % (int(sys.argv[1]) / float(sys.argv[2]) / 1e9))" "$1" "$2"; }
bytes_of() { stat -c %s "$1"; }

printf '%-34s %8s %8s %8s %6s %8s\n' "case" "cat s" "qvp s" "ratio" "budget" "peak MiB"
one_case() {  # label format type rows cols budget
  local f=$work/data/v.nc
  "$work/nc_bigvar" "$f" "$2" "$3" "$4" "$5"
  cat "$f" > /dev/null
  local tc th
  tc=$(best cat_pipe "$f")
  th=$(best handler_pipe "$handler" "$f")
  printf '%-34s %8.3f %8.3f %8s %6s %8s\n' "$1" "$tc" "$th" "$(ratio "$tc" "$th")" \
    "$6" "$(peak_mib "$handler" "$f")"
  if [ -n "$ref" ]; then
    th=$(best handler_pipe "$ref" "$f")
    printf '%-34s %8.3f %8.3f %8s\n' "  same, reference handler" "$tc" "$th" "$(ratio "$tc" "$th")"
  fi
  rm -f "$f"
}
if want classic; then
  one_case "classic Float32 $rows x 16384" classic float "$rows" 16384 0.9
  one_case "classic Float64 $((rows / 2)) x 16384" classic double $((rows / 2)) 16384 0.9
  one_case "classic Int32 $rows x 16384" classic int "$rows" 16384 0.9
  one_case "classic Int16 $rows x 32768" classic short "$rows" 32768 0.6
fi

if want nc4; then
  # netCDF-4: 256 MiB of Float32 in rows of 32768 values: one box of rows
  # touches 32 chunks, which the following boxes read again.
  nc4_rows=$((rows / 8))
  "$work/nc_bigvar" "$work/data/c.nc" classic float "$nc4_rows" 32768
  cat "$work/data/c.nc" > /dev/null
  tc=$(best cat_pipe "$work/data/c.nc")
  for kind in nc4 nc4z; do
    f=$work/data/$kind.nc
    "$work/nc_bigvar" "$f" "$kind" float "$nc4_rows" 32768
    cat "$f" > /dev/null
    out=$("$handler" -o DataDDS "$f" | wc -c)
    for h in "$handler" $ref; do
      th=$(best handler_pipe "$h" "$f")
      label="netCDF-4 Float32 $nc4_rows x 32768 $kind"
      [ "$h" = "$handler" ] || label="  same, reference handler"
      printf '%-34s %8.3f %8.3f %8s %6s %8s  %s GB/s, file %d MiB\n' "$label" "$tc" "$th" \
        "$(ratio "$tc" "$th")" "-" "$(peak_mib "$h" "$f")" "$(gbps "$out" "$th")" \
        $(($(bytes_of "$f") / 1048576))
    done
    rm -f "$f"
  done
  rm -f "$work/data/c.nc"
fi

# Through lighttpd: the Float32 response against a static file of its size,
# and against cat run as a CGI program (the limit of any CGI program here).
web() {
  local f=$work/data/v.nc
  "$work/nc_bigvar" "$f" classic float "$rows" 16384
  local port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  sed -e "s|@BIND@|127.0.0.1|" -e "s|@PORT@|$port|" -e "s|@STATE_DIR@|$work|g" \
      -e "s|@DISPATCH@|$dispatch|" -e "s|@DATA_ROOT@|$work/data|" \
      -e "s|@HANDLER_DIR@|$(dirname "$handler")|" -e "s|@TIMEOUT@|0|" \
      "$src/dispatch/lighttpd.conf.in" > "$work/lighttpd.conf"
  echo '$HTTP["url"] == "/cat.cgi" { cgi.assign = ("" => "") }' >> "$work/lighttpd.conf"
  printf '#!/bin/sh\nprintf "HTTP/1.0 200 OK\\r\\nContent-Type: application/octet-stream\\r\\n\\r\\n"\nexec /bin/cat %s\n' \
    "$work/htdocs/static.bin" > "$work/htdocs/cat.cgi"
  chmod +x "$work/htdocs/cat.cgi"
  "$lighttpd_bin" -D -f "$work/lighttpd.conf" &
  bench_cleanup_hooks+=("kill $! 2>/dev/null; wait $! 2>/dev/null")
  local base=http://127.0.0.1:$port
  for _ in $(seq 50); do curl -sf -o /dev/null "$base/qvp/v.nc.das" && break; sleep 0.1; done
  local size
  size=$(curl -s "$base/qvp/v.nc.vorn" | wc -c)
  head -c "$size" /dev/zero > "$work/htdocs/static.bin"
  cat "$f" "$work/htdocs/static.bin" > /dev/null
  fetch() { curl -s -o /dev/null "$1"; }
  local tw ts tc
  tw=$(best fetch "$base/qvp/v.nc.vorn")
  ts=$(best fetch "$base/static.bin")
  tc=$(best fetch "$base/cat.cgi")
  printf '%-34s %8.3f %8.3f %8s %6s   %s GB/s vs %s GB/s\n' "lighttpd: static vs Float32 .vorn" \
    "$ts" "$tw" "$(ratio "$ts" "$tw")" 0.7 "$(gbps "$size" "$tw")" "$(gbps "$size" "$ts")"
  printf '%-34s %8.3f %8.3f %8s %6s   %s GB/s\n' "  static vs cat as a CGI program" \
    "$ts" "$tc" "$(ratio "$ts" "$tc")" - "$(gbps "$size" "$tc")"
  rm -f "$f" "$work/htdocs/static.bin"
}
if want web; then web; fi
