#!/usr/bin/env bash
# Installs the qvp and libqvp-dev packages in DIR with apt, as a provider
# does, and checks what that did: the user qvp, the registered conffiles, the
# systemd units (systemd-analyze verify, where systemd is installed), a data
# set served by the installed programs running as qvp, and the README's
# handler example built against the installed headers and libraries alone.
# Then purges both and checks that the programs, the configuration and the
# user are gone. It changes the machine it runs on: CI runs it last, as root,
# on its fresh machine. Prints every failure; exits 1 if there was one.
#   scripts/check-deb-install.sh DIR README
set -euo pipefail
dir=$(cd "$1" && pwd)
readme=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
[ "$(id -u)" -eq 0 ] || { echo "check-deb-install: needs root"; exit 1; }
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "check-deb-install: $*"; failed=1; }

DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "$dir"/qvp_*.deb "$dir"/libqvp-dev_*.deb >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; echo "check-deb-install: apt cannot install the packages"; exit 1; }

# The system user the service runs as: no login, no home.
entry=$(getent passwd qvp) || fail "no user qvp"
case "$entry" in *:/nonexistent:*nologin|*:/nonexistent:/bin/false) ;;
  *) fail "user qvp is not a system user without login or home: $entry" ;; esac
conffiles=$(dpkg-query -W -f='${Conffiles}' qvp)
for f in /etc/qvp/handlers.conf /etc/default/qvp /etc/nginx/snippets/qvp.conf \
         /etc/lighttpd/conf-available/50-qvp.conf; do
  grep -q "^ $f " <<<"$conffiles" || fail "$f is not a registered conffile"
done
units=$(dpkg -L qvp | grep -E '/systemd/system/qvp-nc\.(service|socket)$' || true)
[ "$(wc -l <<<"$units")" -eq 2 ] || fail "the units are not installed: $units"
if command -v systemd-analyze >/dev/null; then
  # shellcheck disable=SC2086  # one argument per unit
  systemd-analyze verify $units >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; fail "systemd-analyze verify refuses the units"; }
else
  echo "check-deb-install: systemd-analyze is not installed; the units are not verified"
fi

# The installed dispatcher and handler, as the user qvp, answer a DAS
# request for a data set in a directory that user can read, with the
# libraries from the system's library directory.
handler=/usr/libexec/qvp/qvp_nc_handler
loaded=$(ldd "$handler" | sed -n 's/.*libqvpserver\.so\.[0-9]* => \([^ ]*\) .*/\1/p')
[ -n "$loaded" ] && dpkg -S "$(readlink -f "$loaded")" 2>/dev/null | grep -q '^qvp:' ||
  fail "$handler does not load the installed libqvpserver: $(ldd "$handler" | grep qvp)"
mkdir -p "$work/data"
printf 'netcdf t {\ndimensions: x = 2;\nvariables: float v(x); v:units = "K";\ndata: v = 1, 2;\n}\n' \
  >"$work/t.cdl"
ncgen -k classic -o "$work/data/t.nc" "$work/t.cdl"
chmod -R a+rX "$work/data"
reply=$(cd / && runuser -u qvp -- env -i PATH=/usr/bin:/bin PATH_INFO=/t.nc.das SCRIPT_NAME=/qvp \
  HTTP_HOST=localhost QVP_DATA_ROOT="$work/data" QVP_HANDLER_DIR=/usr/libexec/qvp \
  /usr/libexec/qvp/qvp_dispatch 2>&1 | tr -d '\r') || true
grep -q '^HTTP/1.0 200 OK$' <<<"$reply" && grep -q 'String units "K";' <<<"$reply" ||
  fail "the installed programs do not serve t.nc.das as qvp: $reply"

# The README's handler example against the installed development package.
sed -n '/^```cpp$/,/^```$/p' "$readme" | sed '1d;$d' >"$work/handler.cc"
if c++ -std=c++17 "$work/handler.cc" $(pkg-config --cflags --libs libqvpserver libqvp) \
     -o "$work/handler" 2>"$work/cxx.log"; then
  "$work/handler" -o das demo.nc | tr -d '\r' | grep -q 'String units "m";' ||
    fail "the example built against libqvp-dev does not answer a DAS"
else
  cat "$work/cxx.log"; fail "the README's example does not build against libqvp-dev"
fi

DEBIAN_FRONTEND=noninteractive apt-get purge -y -q qvp libqvp-dev >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt cannot purge the packages"; }
getent passwd qvp >/dev/null && fail "the purge left the user qvp"
getent group qvp >/dev/null && fail "the purge left the group qvp"
for path in /etc/qvp /etc/default/qvp /usr/libexec/qvp /usr/include/libqvp; do
  [ -e "$path" ] && fail "the purge left $path"
done

[ $failed -eq 0 ] && echo "check-deb-install: installed, served, built against and purged"
exit $failed
