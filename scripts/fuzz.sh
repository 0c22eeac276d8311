#!/usr/bin/env bash
# Fuzzes every parser that reads what others write: builds the libFuzzer harnesses of fuzz/ with
# clang in build-fuzz/, runs each one on its kept regression inputs, then for SECONDS seconds on
# a copy of its seed corpus. Prints runs, speed and coverage per harness; exits 1 on a finding
# (the input is kept under build-fuzz/achados/<harness>/).
#   scripts/fuzz.sh SECONDS [HARNESS...]
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$(pwd)

segundos=${1:?"uso: scripts/fuzz.sh SEGUNDOS [HARNESS...]"}
shift
[[ $segundos =~ ^[0-9]+$ ]] || { echo "SEGUNDOS deve ser um número inteiro: $segundos" >&2; exit 2; }

bash scripts/dependencias.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZERS=ON \
  -DQEL_FUZZ=ON -DQEL_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzz

if (($#)); then
  harnesses=("$@")
else
  harnesses=()
  for d in fuzz/corpus/*/; do harnesses+=("$(basename "$d")"); done
fi

# A finding stops the harness at once; an input that takes longer than this is one too.
opcoes=(-timeout=30 -rss_limit_mb=2048 -print_final_stats=1)
trabalho=$(mktemp -d)
trap 'rm -rf "$trabalho"' EXIT
passaram=0
falharam=0
for h in "${harnesses[@]}"; do
  programa=$raiz/build-fuzz/fuzz/fuzz_$h
  achados=$raiz/build-fuzz/achados/$h
  mkdir -p "$achados" "$trabalho/$h"
  log=$trabalho/$h.log
  ok=1

  # The inputs of earlier findings, each run once.
  regressoes=()
  if [ -d "fuzz/regressions/$h" ]; then
    while IFS= read -r -d '' f; do regressoes+=("$f"); done < <(find "fuzz/regressions/$h" -type f -print0)
  fi
  if ((${#regressoes[@]})) && ! "$programa" "${opcoes[@]}" "${regressoes[@]}" >"$log" 2>&1; then
    echo "$h: FALHOU numa entrada de regressão"
    tail -n 40 "$log"
    ok=0
  fi

  if ((ok)); then
    cp -r "fuzz/corpus/$h/." "$trabalho/$h/"
    if ! "$programa" "${opcoes[@]}" -max_total_time="$segundos" -artifact_prefix="$achados/" \
      "$trabalho/$h" >"$log" 2>&1; then
      echo "$h: ACHADO (entrada em $achados/)"
      if grep -q -E "ERROR|qel-fuzz:|runtime error|ALARM|Timeout" "$log"; then
        grep -E -A30 "ERROR|qel-fuzz:|runtime error|ALARM|Timeout" "$log" | head -n 60 || true
      else
        tail -n 40 "$log"
      fi
      ok=0
    fi
  fi

  if ((ok)); then
    execucoes=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    velocidade=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    final=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    cobertura=$(sed -n 's/.*\(cov: [0-9]*\).*/\1/p' <<<"$final")
    elementos=$(sed -n 's/.*\(ft: [0-9]*\).*/\1/p' <<<"$final")
    echo "$h: ${execucoes:-0} execuções em ${segundos}s, ${velocidade:-0} exec/s, $cobertura $elementos," \
      "${#regressoes[@]} regressões"
    passaram=$((passaram + 1))
  else
    falharam=$((falharam + 1))
  fi
done

echo "fuzz: $passaram passed, $falharam failed"
((falharam == 0))
