#!/bin/bash
# Builds libqvp, the netCDF handler and the dispatcher (Release, in
# build-demo/), writes the sample data sets and serves them with lighttpd on
# 127.0.0.1:8080 in the foreground. Ctrl-C stops the server and cleans up.
# By default lighttpd passes requests over SCGI to a resident pool of
# handler workers (qvp_nc_handler --serve); QVP_DEMO_MODE=cgi runs the
# dispatcher and a handler process per request instead. Same URLs either way.
# At start it asks a data value with the netCDF library's own remote client
# (ncdump), reads the suffix of the refused request from the access log and
# adds it to the demo's handler table as an alias of the data response, so
# that netCDF4 and xarray open the URLs.
# On a fresh Debian machine, run as root: missing packages are installed with
# apt-get. Environment: QVP_DEMO_PORT (default 8080), QVP_TIMEOUT (seconds a
# data response may take, default 60), QVP_DEMO_MODE (pool or cgi),
# QVP_DEMO_BUILD (a build tree that already holds qvp_dispatch,
# qvp_nc_handler and nc_ramp: used as it is, with no configure or build).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${QVP_DEMO_BUILD:-$src/build-demo}
port=${QVP_DEMO_PORT:-8080}
timeout=${QVP_TIMEOUT:-60}
mode=${QVP_DEMO_MODE:-pool}
case $mode in pool|cgi) ;; *) echo "demo: QVP_DEMO_MODE is pool or cgi" >&2; exit 2 ;; esac
"$src/scripts/install-deps.sh" build-essential cmake pkg-config libnetcdf-dev \
  netcdf-bin libexpat1-dev libcairo2-dev libpng-dev lighttpd \
  lighttpd-mod-deflate curl
if [ -z "${QVP_DEMO_BUILD:-}" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQVP_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target qvp_dispatch qvp_nc_handler nc_ramp
fi

work=$(mktemp -d /tmp/qvp-demo.XXXXXX)
data=$work/data
"$src/samples/make_samples.sh" "$data" "$build/samples/nc_ramp"
mkdir -p "$work/htdocs"
# The demo's handler table: the shipped one, and the netCDF client's data
# suffix once it is learnt (below).
table=$work/handlers.conf
cp "$src/share/qvp/handlers.conf" "$table"
if [ "$mode" = pool ]; then
  sed -e "s|@BIND@|127.0.0.1|" -e "s|@PORT@|$port|" -e "s|@STATE_DIR@|$work|g" \
      -e "s|@SOCKET@|$work/pool.sock|" \
      "$src/deploy/lighttpd-scgi.conf.in" > "$work/lighttpd.conf"
else
  sed -e "s|@BIND@|127.0.0.1|" -e "s|@PORT@|$port|" -e "s|@STATE_DIR@|$work|g" \
      -e "s|@DISPATCH@|$build/dispatch/qvp_dispatch|" -e "s|@DATA_ROOT@|$data|" \
      -e "s|@HANDLER_DIR@|$build/handlers/netcdf|" -e "s|@TIMEOUT@|$timeout|" \
      -e "s|\"QVP_DATA_ROOT\" =>|\"QVP_CONFIG\" => \"$table\", &|" \
      "$src/dispatch/lighttpd.conf.in" > "$work/lighttpd.conf"
fi
cat >> "$work/lighttpd.conf" <<CONF
server.modules += ("mod_accesslog")
accesslog.filename = "$work/access.log"
CONF

lighttpd_bin=$(command -v lighttpd || echo /usr/sbin/lighttpd)
pid=
pool_pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$pool_pid" ] && kill "$pool_pid" 2>/dev/null && wait "$pool_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The pool reads the handler table when it starts.
start_pool() {
  "$build/handlers/netcdf/qvp_nc_handler" --serve "unix:$work/pool.sock" \
    --root "$data" --timeout "$timeout" --config "$table" &
  pool_pid=$!
  for _ in $(seq 50); do [ -S "$work/pool.sock" ] && break; sleep 0.1; done
  [ -S "$work/pool.sock" ] || { echo "demo: the pool did not start" >&2; exit 1; }
}
stop_pool() {
  kill "$pool_pid" && wait "$pool_pid" || true
  pool_pid=
}

if [ "$mode" = pool ]; then start_pool; fi
"$lighttpd_bin" -D -f "$work/lighttpd.conf" &
pid=$!
sleep 0.5
kill -0 "$pid" 2>/dev/null || { echo "demo: lighttpd did not start" >&2; exit 1; }

base=http://127.0.0.1:$port/qvp

# The suffix of the request that the netCDF client's read of one value had
# refused with 400; "" when none was (lighttpd writes its log in the
# background, so the log is read a few times).
refused_suffix() {
  timeout 30 ncdump -v time "$base/sst.nc" >/dev/null 2>&1 || true
  for _ in $(seq 50); do
    suffix=$(sed -nE 's|.*"GET /qvp/sst\.nc\.([A-Za-z0-9_-]+)[ ?][^"]*" 400 .*|\1|p' \
      "$work/access.log" 2>/dev/null | head -n 1 || true)
    [ -n "$suffix" ] && break
    sleep 0.1
  done
  echo "$suffix"
}
suffix=$(refused_suffix)
if [ -n "$suffix" ]; then
  echo "suffix $suffix DataDDS" >> "$table"
  if [ "$mode" = pool ]; then stop_pool; start_pool; fi
  client="netCDF clients ask data with .$suffix, an alias of .vorn in $table"
else
  client="the netCDF client's data suffix was not learnt: no refusal in $work/access.log"
fi
cat <<TEXT

Serving $(ls "$data" | tr '\n' ' ')from $data ($mode mode)
at $base/<data set>.<das|dds|ddx|vorn|ver|html|csv>[?constraint]

In a browser:
  $base/                         the catalogue of the data sets
  $base/sst.nc.html              a data set's page: attributes, variables, a constraint builder
  $base/sst.nc.csv?sst[0]        values as CSV

With curl:
  curl -g '$base/station.nc.csv?temp,pressure'
  curl $base/sst.nc.das
  curl $base/sst.nc.dds
  curl $base/sst.nc.ddx
  curl '$base/sst.nc.dds?sst.lat,time'
  curl -s '$base/sst.nc.vorn?sst%5B1%5D%5B0:2:2%5D%5B1:2%5D' | od -c | tail
  curl -s '$base/station.nc.vorn?station_name,temp' | od -c | tail
  curl $base/names.nc.ver
  curl -i -H "If-Modified-Since: \$(date -u -R -r $data/sst.nc | sed 's/+0000/GMT/')" $base/sst.nc.das
                                        (304 Not Modified: the file is unchanged)
  curl -i $base/sst.nc.vorn?nosuch      (404 with an Error body)

With Python's xarray or netCDF4 (Debian: python3-xarray, python3-netcdf4):
  python3 -c "import xarray; print(xarray.open_dataset('$base/sst.nc'))"
                                        ($client)

Press Ctrl-C to stop.
TEXT
wait "$pid"
