#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh release   optimised, installed into install/velgrade
#   scripts/build.sh sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, with tests
#   scripts/build.sh fuzz      clang + libFuzzer targets
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
jobs=$(nproc)
case "$flavour" in
  release)
    cmake -S "$top" -B "$top/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELGRADE_TESTS=OFF
    cmake --build "$top/build/release" -j "$jobs"
    cmake --install "$top/build/release" --prefix "$top/install/velgrade" >/dev/null
    ;;
  sanitize)
    cmake -S "$top" -B "$top/build/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELGRADE_SANITIZE=ON
    cmake --build "$top/build/sanitize" -j "$jobs"
    ;;
  fuzz)
    cmake -S "$top" -B "$top/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVELGRADE_FUZZ=ON -DVELGRADE_SANITIZE=ON -DVELGRADE_TESTS=OFF
    cmake --build "$top/build/fuzz" -j "$jobs"
    ;;
  *)
    echo "usage: $0 release|sanitize|fuzz" >&2
    exit 2
    ;;
esac
