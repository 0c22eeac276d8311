#!/usr/bin/env bash
# Builds (optimised) and runs the signing benchmark: Assinar_XML against RSA-2048 + C14N.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/dependencias.sh
cmake -S . -B build-medidas -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-medidas --target bench_assinatura
./build-medidas/tools/bench_assinatura
