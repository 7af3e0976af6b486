"""The figures of bench/aggregation.sh: a joinExisting of MEMBERS daily files
(one step each), measured against ncdump -h over the members (cold), one
member's responses through the pool (warm), the same box read from its
member (one step), and a C loop over the members (a time series)."""
import os, resource, socket, subprocess, sys, time

import netCDF4
import numpy as np

work, handler, point_loop = sys.argv[1:4]
MEMBERS = int(os.environ.get("QVP_BENCH_MEMBERS", "3650"))
NLAT, NLON = 90, 180
root = os.path.join(work, "data")
daily = os.path.join(root, "daily")
os.makedirs(daily)
field = np.arange(NLAT * NLON, dtype="f4").reshape(1, NLAT, NLON)
members = []
for day in range(MEMBERS):
    path = os.path.join(daily, "sst_%05d.nc" % day)
    with netCDF4.Dataset(path, "w", format="NETCDF3_CLASSIC") as nc:
        nc.createDimension("time", None)
        nc.createDimension("lat", NLAT)
        nc.createDimension("lon", NLON)
        t = nc.createVariable("time", "f8", ("time",))
        t.units = "days since 2000-01-01"
        t[:] = [day]
        nc.createVariable("lat", "f4", ("lat",))[:] = np.linspace(-89, 89, NLAT)
        nc.createVariable("lon", "f4", ("lon",))[:] = np.linspace(0, 358, NLON)
        sst = nc.createVariable("sst", "f4", ("time", "lat", "lon"))
        sst.units = "degC"
        sst[:] = field + day
    members.append(path)
with open(os.path.join(root, "agg.ncml"), "w") as f:
    f.write('<?xml version="1.0"?>\n<netcdf xmlns="http://www.unidata.ucar.edu/'
            'namespaces/netcdf/ncml-2.2"><aggregation dimName="time" '
            'type="joinExisting"><scan location="daily/" suffix=".nc"/>'
            '</aggregation></netcdf>\n')
env = dict(os.environ, QVP_DATA_ROOT=root, QVP_CACHE_DIR=os.path.join(work, "cache"))


def clock(fn):
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def run(args, **kw):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, env=env, **kw)


print("members: %d, one step of %d x %d Float32 each" % (MEMBERS, NLAT, NLON))
cold = clock(lambda: run([handler, "-o", "DDS", os.path.join(root, "agg.ncml")]))
ncdump = clock(lambda: [run(["ncdump", "-h", m]) for m in members])
print("cold: first DDS %.2f s, ncdump -h over the members %.2f s: ratio %.3f (budget <= 1.5)"
      % (cold, ncdump, cold / ncdump))

sock = os.path.join(work, "pool.sock")
log = open(os.path.join(work, "pool.log"), "wb")
pool = subprocess.Popen([handler, "--serve", "unix:" + sock, "--root", root, "--workers", "1",
                         "--cache-dir", env["QVP_CACHE_DIR"]], stderr=log)
while not os.path.exists(sock):
    time.sleep(0.05)


def scgi(path, query=""):
    pairs = [(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"), (b"PATH_INFO", path.encode()),
             (b"SCRIPT_NAME", b"/qvp"), (b"QUERY_STRING", query.encode()),
             (b"HTTP_HOST", b"127.0.0.1:1"), (b"REQUEST_SCHEME", b"http")]
    payload = b"".join(k + b"\0" + v + b"\0" for k, v in pairs)
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(sock)
        s.sendall(str(len(payload)).encode() + b":" + payload + b",")
        chunks = []
        while True:
            c = s.recv(1 << 20)
            if not c:
                break
            chunks.append(c)
    reply = b"".join(chunks)
    assert b" 200 OK" in reply[:40], reply[:300]
    return reply


def rate(path, query="", seconds=2.0):
    """Mean seconds per request, sequential, after one warming request."""
    scgi(path, query)
    n, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        scgi(path, query)
        n += 1
    return (time.perf_counter() - start) / n


try:
    member = "daily/sst_%05d.nc" % (MEMBERS // 2)
    step = MEMBERS // 2
    for kind in ("das", "dds"):
        agg, one = rate("/agg.ncml." + kind), rate("/%s.%s" % (member, kind))
        print("warm %s: aggregation %.3f ms, one member %.3f ms: ratio %.2f (budget <= 2)"
              % (kind.upper(), agg * 1e3, one * 1e3, agg / one))
    agg = rate("/agg.ncml.vorn", "sst.sst[%d][0:%d][0:%d]" % (step, NLAT - 1, NLON - 1))
    one = rate("/%s.vorn" % member, "sst.sst[0][0:%d][0:%d]" % (NLAT - 1, NLON - 1))
    print("one time step: aggregation %.3f ms, its member %.3f ms: ratio %.2f (budget <= 3)"
          % (agg * 1e3, one * 1e3, agg / one))
    series = rate("/agg.ncml.vorn", "sst.sst[0:%d][45][90]" % (MEMBERS - 1), seconds=3)
    loop = clock(lambda: run([point_loop, "45", "90"] + members))
    print("time series at one point: %.0f members/s through the pool (%.3f s); C loop %.3f s:"
          " ratio %.2f" % (MEMBERS / series, series, loop, series / loop))
    workers = [l.split()[0] for l in subprocess.run(["ps", "-o", "pid=,ppid=", "-A"],
                                                     capture_output=True, text=True).stdout.splitlines()
               if l.split()[1] == str(pool.pid)]
    for pid in workers:
        with open("/proc/%s/status" % pid) as f:
            hwm = [l for l in f if l.startswith("VmHWM")][0].split()[1]
        print("worker %s peak resident size: %.1f MiB (budget <= 64)" % (pid, int(hwm) / 1024))
finally:
    pool.terminate()
    pool.wait()
