#!/usr/bin/env bash
# Installs what the tests need, builds with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test (unit tests and the real program on temporary folder trees), then each parser's
# fuzzing harness for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/dependencias.sh
bash scripts/fila-cups.sh
cmake -S . -B build-testes -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZERS=ON >/dev/null
cmake --build build-testes

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
# Leaks are looked for in every test program and in every run of the real program.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The reference schemas with the tax reform's NF-e package over them, for the tests of a reform
# NF-e, of the QR code version 3 and of the EPEC request's own schema; where the package cannot be
# fetched those tests say so and skip (or run unchecked).
export QEL_ESQUEMAS_REFORMA="$PWD/build-testes/esquemas-reforma"
if ! QEL_DFE_ESQUEMAS="$QEL_ESQUEMAS_REFORMA" bash -c \
  'bash scripts/esquemas.sh >/dev/null && bash scripts/esquemas-reforma.sh >/dev/null'; then
  echo "aviso: pacote de esquemas da reforma não instalado; os testes que o usam serão pulados" >&2
fi
(cd build-testes && ctest --output-on-failure --timeout 300 -j2)

# Each parser's harness briefly on its seed corpus and on the inputs of its earlier findings.
bash scripts/fuzz.sh 5
