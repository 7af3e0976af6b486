#!/bin/bash
# Requests per second through lighttpd (loopback, wrk, bounded duration):
# a DAS request for a small data set through qvp_dispatch and
# qvp_nc_handler, beside an empty C CGI program that writes a response of
# the same size. Prints both rates and their ratio.
# QVP_BENCH_SECONDS (default 10) sets each run's duration.
source "$(dirname "$0")/bench_env.sh"
seconds=${QVP_BENCH_SECONDS:-10}
lighttpd_bin=$(command -v lighttpd || echo /usr/sbin/lighttpd)
"$src/samples/make_samples.sh" "$work/data"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
port=$(free_port)
mkdir -p "$work/htdocs"
sed -e "s|@BIND@|127.0.0.1|" -e "s|@PORT@|$port|" -e "s|@STATE_DIR@|$work|g" \
    -e "s|@DISPATCH@|$dispatch|" -e "s|@DATA_ROOT@|$work/data|" \
    -e "s|@HANDLER_DIR@|$(dirname "$handler")|" -e "s|@TIMEOUT@|0|" \
    "$src/dispatch/lighttpd.conf.in" > "$work/lighttpd.conf"
# The reference: /empty.cgi in the document root, run by mod_cgi as well.
cat >> "$work/lighttpd.conf" <<CONF
\$HTTP["url"] == "/empty.cgi" { cgi.assign = ("" => "") }
CONF

url=http://127.0.0.1:$port/qvp/sst.nc.das
"$lighttpd_bin" -D -f "$work/lighttpd.conf" &
bench_cleanup_hooks+=("kill $! 2>/dev/null; wait $! 2>/dev/null")
for _ in $(seq 50); do curl -sf -o /dev/null "$url" && break; sleep 0.1; done

# The empty program writes the DAS response's header and body sizes.
curl -s -D "$work/das.head" -o "$work/das.body" "$url"
body=$(stat -c %s "$work/das.body")
cat > "$work/empty_cgi.c" <<C
#include <string.h>
#include <unistd.h>
int main(void) {
  static char buf[$body];
  static const char head[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  memset(buf, 'x', sizeof buf);
  write(1, head, sizeof head - 1);
  write(1, buf, sizeof buf);
  return 0;
}
C
cc -O2 -o "$work/htdocs/empty.cgi" "$work/empty_cgi.c"

rate() {
  wrk -t2 -c4 -d"${seconds}s" "$1" | awk '/Requests\/sec/ {print $2}'
}
das=$(rate "$url")
empty=$(rate "http://127.0.0.1:$port/empty.cgi")
python3 - "$das" "$empty" "$body" <<'PY'
import sys
das, empty, body = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
print("requests per second through lighttpd (%d-byte DAS body)" % body)
print("  DAS via qvp_dispatch + qvp_nc_handler %9.1f" % das)
print("  empty C CGI program, same size        %9.1f" % empty)
print("  ratio                                 %9.2f" % (das / empty))
PY
