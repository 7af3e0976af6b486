#!/usr/bin/env bash
# consumer_test.sh BUILD_DIR README CONSUMER_DIR CXX [CXXFLAGS]
# Checks that the installed headers, libraries, pkg-config files and CMake
# package let a program outside the tree build and answer requests.
set -euo pipefail
build=$1 readme=$2 consumer=$3 cxx=$4 flags=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The handler example of the README, between its ```cpp fence and the next.
sed -n '/^```cpp$/,/^```$/p' "$readme" | sed '1d;$d' >"$work/handler.cc"
[ -s "$work/handler.cc" ] || { echo "no C++ example in $readme"; exit 1; }

export PKG_CONFIG_PATH=$(find "$work/prefix" -name libqvp.pc -printf '%h\n' | head -n1)
"$cxx" -std=c++17 -Wall -Wextra -Werror $flags "$work/handler.cc" \
  $(pkg-config --cflags --libs libqvpserver libqvp) \
  -Wl,-rpath,"$(pkg-config --variable=libdir libqvp)" -o "$work/handler_pc"
cmake -S "$consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DHANDLER_SOURCE="$work/handler.cc" >/dev/null
cmake --build "$work/cmake" >/dev/null

set -f  # the arguments below hold brackets
for program in "$work/handler_pc" "$work/cmake/handler"; do
  while IFS='|' read -r text args; do  # each response holds its text
    out=$("$program" $args 2>/dev/null | tr -d '\r')
    grep -qF -- "$text" <<<"$out" || { echo "$program $args: no '$text' in:"; echo "$out"; exit 1; }
  done <<'EOF'
Float64 depth[depth = 4];|-o dds demo.nc
String units "m";|-o das demo.nc
<dataBLOB href="http://h/demo.nc.blob?"/>|-o ddx -u http://h/demo.nc demo.nc
Content-Description: vorn_data|-o DataDDS -e depth[1:2] demo.nc
HTTP/1.0 400 Bad Request|-o DataDDS -e nosuch demo.nc
EOF
done
echo "install consumer: ok"
