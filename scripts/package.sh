#!/usr/bin/env bash
# Builds the Debian package charlib_<version>_amd64.deb from a clean build
# folder, build-package/, and checks it (scripts/check-package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
charlib_ensure_packages
rm -rf build-package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCHARLIB_TESTS=OFF -DCHARLIB_BENCH=OFF >/dev/null
cmake --build build-package
(cd build-package && cpack -G DEB)
scripts/check-package.sh build-package/charlib_*_amd64.deb
