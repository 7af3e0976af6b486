#!/usr/bin/env bash
# Checks the Debian packages that `cpack -G DEB` made in DIR: what each holds
# and must not hold, the Depends that dpkg-shlibdeps computed, the conffiles,
# the maintainer scripts and the libraries' SONAMEs (the version's major
# number). Prints every failure; exits 1 if there was one.
#   scripts/check-deb.sh DIR
set -euo pipefail
dir=$1
runtime=$(echo "$dir"/qvp_*.deb) dev=$(echo "$dir"/libqvp-dev_*.deb)
[ -f "$runtime" ] && [ -f "$dev" ] || { echo "no qvp and libqvp-dev packages in $dir"; exit 1; }
failed=0
version=$(dpkg-deb -f "$runtime" Version)
major=${version%%.*}
fail() { echo "check-deb: $*"; failed=1; }

# has DEB PATTERN...: each extended regex matches a path that DEB holds.
# lacks DEB PATTERN...: none does.
paths() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
has() { local deb=$1 p; shift; for p; do paths "$deb" | grep -Eqx "$p" || fail "$(basename "$deb") lacks $p"; done; }
lacks() { local deb=$1 p; shift; for p; do paths "$deb" | grep -Eqx "$p" && fail "$(basename "$deb") holds $p"; done; return 0; }

has "$runtime" /usr/libexec/qvp/qvp_nc_handler /usr/libexec/qvp/qvp_dispatch \
  "/usr/lib/(.*/)?libqvp\.so\.$major" "/usr/lib/(.*/)?libqvp\.so\.$major\.[0-9.]+" \
  "/usr/lib/(.*/)?libqvpserver\.so\.$major" "/usr/lib/(.*/)?libqvpserver\.so\.$major\.[0-9.]+" \
  /etc/qvp/handlers.conf /etc/default/qvp /etc/lighttpd/conf-available/50-qvp.conf \
  /etc/nginx/snippets/qvp.conf '(/usr)?/lib/systemd/system/qvp-nc\.(service|socket)' \
  /usr/share/qvp/lighttpd-scgi.conf.in /usr/share/qvp/nginx-scgi.conf.in
lacks "$runtime" '/usr/include/.*' '.*\.so' '.*\.pc' '.*/cmake/.*' '/usr/share/qvp/qvp-nc\..*' '/usr/local/.*'
has "$dev" /usr/include/libqvp/core.h /usr/include/libqvp/VORNFilter.h \
  '/usr/lib/(.*/)?libqvp\.so' '/usr/lib/(.*/)?libqvpserver\.so' \
  '/usr/lib/(.*/)?pkgconfig/libqvp\.pc' '/usr/lib/(.*/)?pkgconfig/libqvpserver\.pc' \
  '/usr/lib/(.*/)?cmake/libqvp/libqvpConfig\.cmake'
lacks "$dev" '.*\.so\.[0-9.]+' '/etc/.*' '/usr/libexec/.*'

# Depends: the libraries the programs link, found by dpkg-shlibdeps, with
# versions; the package's own libraries are not among them.
depends=$(dpkg-deb -f "$runtime" Depends)
for want in 'adduser' 'libc6 \(>= [0-9.]+\)' 'libnetcdf[0-9]+ \(>= [0-9.]+\)' 'libstdc\+\+6 \(>= [0-9]+\)'; do
  grep -Eq "(^|, )$want(,|$)" <<<"$depends" || fail "qvp Depends lacks $want: $depends"
done
grep -q libqvp <<<"$depends" && fail "qvp depends on its own libraries: $depends"
[ "$(dpkg-deb -f "$dev" Depends)" = "qvp (= $version)" ] ||
  fail "libqvp-dev Depends is not qvp (= $version): $(dpkg-deb -f "$dev" Depends)"

control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$runtime" "$control/DEBIAN"
for script in postinst prerm postrm; do
  [ -x "$control/DEBIAN/$script" ] || fail "qvp has no executable $script"
done
# Every file under /etc is a conffile, and every conffile is in the package.
diff <(sort "$control/DEBIAN/conffiles") <(paths "$runtime" | grep '^/etc/.*[^/]$' | sort) >&2 ||
  fail "qvp's conffiles are not its files under /etc"

# Each library's SONAME is the name of its versioned link.
dpkg-deb -x "$runtime" "$control/root"
for lib in libqvp libqvpserver; do
  file=$(find "$control/root" -name "$lib.so.*.*" -type f)
  soname=$(readelf -d "$file" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
  [ "$soname" = "$lib.so.$major" ] || fail "$file: SONAME '$soname', not $lib.so.$major"
done

[ $failed -eq 0 ] && echo "check-deb: $(basename "$runtime") and $(basename "$dev") are complete"
exit $failed
