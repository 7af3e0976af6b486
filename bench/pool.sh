#!/bin/bash
# Requests per second, p50/p99 latency, through one lighttpd (loopback, wrk,
# bounded duration), for two reply sizes: a small DAS and a ~1 MiB data
# response. Five ways of answering, each with a reply of the same size:
#   static     a static file
#   empty CGI  an empty C program run by mod_cgi
#   min SCGI   a minimal prefork C SCGI responder with a fixed reply
#   CGI path   qvp_dispatch + qvp_nc_handler per request (mod_cgi)
#   pool       qvp_nc_handler --serve (mod_scgi)
# The pool's small DAS is measured twice: repeated (the same data set, which
# its workers keep open with its body) and first requests (2000 copies of it
# asked in turn, more than a worker keeps, so each request opens a file and
# makes the body). Then the pool's rate while slow clients sit on 16 MiB
# replies, and each worker's resident size after its caches are filled (16
# DDX bodies of 1.5 MB, 16 open netCDF-4 and 16 open classic files). Prints
# the pool's ratios against its budget: repeated at least 0.6 of the minimal
# responder, first requests and the large reply at least 0.3, and the small
# reply 20 times the CGI path.
# QVP_BENCH_SECONDS (default 5) sets each run's duration.
source "$(dirname "$0")/bench_env.sh"
seconds=${QVP_BENCH_SECONDS:-5}
workers=$(nproc)
lighttpd_bin=$(command -v lighttpd || echo /usr/sbin/lighttpd)
"$src/samples/make_samples.sh" "$work/data" "$nc_ramp"
mkdir -p "$work/data/first" "$work/data/fill"
for i in $(seq 0 1999); do ln "$work/data/sst.nc" "$work/data/first/sst$i.nc"; done
python3 -c 'print("netcdf big {\ndimensions: x = 1;\nvariables: int v(x); v:big = \"" + "a" * 1500000 + "\";\ndata: v = 1;\n}")' > "$work/big.cdl"
ncgen -k classic -o "$work/data/fill/big0.nc" "$work/big.cdl"
for i in $(seq 1 15); do cp "$work/data/fill/big0.nc" "$work/data/fill/big$i.nc"; done
for i in $(seq 0 15); do
  cp "$work/data/model.nc" "$work/data/fill/model$i.nc"
  cp "$work/data/sst.nc" "$work/data/fill/sst$i.nc"
done
cc -O2 -o "$work/scgi_min" "$src/bench/scgi_min.c"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
port=$(free_port)
base=http://127.0.0.1:$port
mkdir -p "$work/htdocs/small" "$work/htdocs/large"
sed -e "s|@BIND@|127.0.0.1|" -e "s|@PORT@|$port|" -e "s|@STATE_DIR@|$work|g" \
    -e "s|@DISPATCH@|$dispatch|" -e "s|@DATA_ROOT@|$work/data|" \
    -e "s|@HANDLER_DIR@|$(dirname "$handler")|" -e "s|@TIMEOUT@|0|" \
    "$src/dispatch/lighttpd.conf.in" > "$work/lighttpd.conf"
# The pool and the minimal responders behind the same server, configured
# as deploy/lighttpd-scgi.conf.in does.
cat >> "$work/lighttpd.conf" <<CONF
server.modules += ("mod_scgi")
\$HTTP["url"] =~ "^/(pool|min-)" { server.stream-response-body = 1 }
\$HTTP["url"] =~ "\.cgi\$" { cgi.assign = ("" => "") }
scgi.server = (
  "/pool" => (("socket" => "$work/pool.sock", "check-local" => "disable")),
  "/min-small" => (("socket" => "$work/min-small.sock", "check-local" => "disable")),
  "/min-large" => (("socket" => "$work/min-large.sock", "check-local" => "disable")))
CONF

"$handler" --serve "unix:$work/pool.sock" --root "$work/data" --workers "$workers" \
  2>"$work/pool.log" &
pool_pid=$!
bench_cleanup_hooks+=("kill $pool_pid 2>/dev/null; wait $pool_pid 2>/dev/null")
"$lighttpd_bin" -D -f "$work/lighttpd.conf" &
bench_cleanup_hooks+=("kill $! 2>/dev/null; wait $! 2>/dev/null")
for _ in $(seq 50); do curl -sf -o /dev/null "$base/pool/sst.nc.das" && break; sleep 0.1; done

small_query=sst.nc.das
large_query='ramp.nc.vorn?ramp%5B0:255%5D%5B0:1023%5D'
for size in small large; do
  q=${size}_query
  curl -s -o "$work/$size.body" "$base/pool/${!q}"
  bytes=$(stat -c %s "$work/$size.body")
  cmp -s "$work/$size.body" <(curl -s "$base/qvp/${!q}") ||
    { echo "pool and CGI path differ for ${!q}" >&2; exit 1; }
  head -c "$bytes" /dev/zero | tr '\0' x > "$work/htdocs/$size/static.txt"
  cat > "$work/empty_$size.c" <<C
#include <string.h>
#include <unistd.h>
static char buf[$bytes];
int main(void) {
  static const char head[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  memset(buf, 'x', sizeof buf);
  write(1, head, sizeof head - 1);
  for (size_t off = 0; off < sizeof buf;) {
    ssize_t w = write(1, buf + off, sizeof buf - off);
    if (w <= 0) return 1;
    off += (size_t)w;
  }
  return 0;
}
C
  cc -O2 -o "$work/htdocs/$size/empty.cgi" "$work/empty_$size.c"
  "$work/scgi_min" "$work/min-$size.sock" "$bytes" "$workers" &
  bench_cleanup_hooks+=("pkill -P $! 2>/dev/null; kill $! 2>/dev/null")
  echo "$bytes" > "$work/$size.bytes"
done
sleep 0.3

# Each wrk thread asks for the copies in turn, from its own place.
cat > "$work/first.lua" <<'LUA'
local threads = 0
function setup(thread) thread:set("id", threads); threads = threads + 1 end
function init() n = id * 1000 end
function request()
  n = (n + 1) % 2000
  return wrk.format("GET", "/pool/first/sst" .. n .. ".nc.das")
end
LUA

# run NAME URL [WRK ARGS]: one wrk run; appends "NAME rate p50 p99" to results.
run() {
  wrk -t2 -c4 -d"${seconds}s" --latency "${@:3}" "$2" > "$work/wrk.out"
  awk -v name="$1" '
    /Requests\/sec/ {rate=$2}
    $1=="50%" {p50=$2} $1=="99%" {p99=$2}
    END {print name, rate, p50, p99}' "$work/wrk.out" >> "$work/results"
}
: > "$work/results"
for size in small large; do
  q=${size}_query
  run "$size/static" "$base/$size/static.txt"
  run "$size/empty-cgi" "$base/$size/empty.cgi"
  run "$size/min-scgi" "$base/min-$size/x"
  run "$size/cgi-path" "$base/qvp/${!q}"
  run "$size/pool" "$base/pool/${!q}"
done
run "small/pool-first-requests" "$base" -s "$work/first.lua"

# Slow clients: each asks for the 16 MiB ramp and then reads nothing.
python3 - "$port" 4 > "$work/slow.log" 2>&1 <<'PY' &
import socket, sys, time
socks = []
for _ in range(int(sys.argv[2])):
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.sendall(b"GET /pool/ramp.nc.vorn HTTP/1.0\r\nHost: x\r\n\r\n")
    socks.append(s)
time.sleep(60)
PY
slow_pid=$!
bench_cleanup_hooks+=("kill $slow_pid 2>/dev/null")
sleep 1
run "small/pool-with-4-slow-readers" "$base/pool/$small_query"
kill "$slow_pid" 2>/dev/null || true

# Fill every worker's caches: each request several times, so that every
# worker gets it.
for i in $(seq 0 15); do
  for _ in $(seq $((workers * 3))); do
    curl -s -o /dev/null "$base/pool/fill/big$i.nc.ddx"
    curl -s -o /dev/null "$base/pool/fill/model$i.nc.vorn"
    curl -s -o /dev/null "$base/pool/fill/sst$i.nc.vorn"
  done
done
rss=$(for p in $(pgrep -P "$pool_pid"); do
        awk '/VmRSS/ {printf "%d ", $2}' "/proc/$p/status"; done)
python3 - "$work/results" "$(cat "$work/small.bytes")" "$(cat "$work/large.bytes")" "$rss" <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    name, rate, p50, p99 = line.split()
    rows[name] = (float(rate), p50, p99)
sizes = {"small": int(sys.argv[2]), "large": int(sys.argv[3])}
print("through one lighttpd (wrk -t2 -c4), requests/s and latency p50 / p99")
for size in ("small", "large"):
    print("\n%s reply: %d bytes" % (size, sizes[size]))
    for name, (rate, p50, p99) in rows.items():
        if name.startswith(size + "/"):
            print("  %-32s %9.1f   %8s / %8s" % (name.split("/", 1)[1], rate, p50, p99))
    pool = rows[size + "/pool"][0]
    if size == "small":
        print("  pool / min SCGI   %6.2f   (repeated; budget >= 0.6)"
              % (pool / rows["small/min-scgi"][0]))
        print("  pool / min SCGI   %6.2f   (first requests; budget >= 0.3)"
              % (rows["small/pool-first-requests"][0] / rows["small/min-scgi"][0]))
        print("  pool / CGI path   %6.1f   (budget >= 20)" % (pool / rows[size + "/cgi-path"][0]))
    else:
        # The budgets are the small reply's; a large one is bound by moving
        # its bytes, which every way of answering pays alike.
        print("  pool / min SCGI   %6.2f   (budget >= 0.3)" % (pool / rows[size + "/min-scgi"][0]))
        print("  pool / CGI path   %6.1f   (no budget: the copy dominates)"
              % (pool / rows[size + "/cgi-path"][0]))
slow = rows["small/pool-with-4-slow-readers"][0]
print("\nsmall DAS through the pool while 4 clients stall on 16 MiB replies: %.1f/s "
      "(%.2f of the rate without them)" % (slow, slow / rows["small/pool"][0]))
print("worker resident sizes with full caches (KiB): %s (budget <= 65536)" % sys.argv[4])
PY
