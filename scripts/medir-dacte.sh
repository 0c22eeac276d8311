#!/usr/bin/env bash
# Measures "GERAR PDF" of a CT-e (every party, 18 NF-e) and of an MDF-e of many documents (default
# 300, in 7 unloading municipalities): process start to exit, and peak memory (maximum resident set
# size), the median of a few runs each. QEL_BUILD names the build folder (default build-demo).
set -euo pipefail
cd "$(dirname "$0")/.."
documentos="${1:-300}"
rodadas="${RODADAS:-5}"
build="${QEL_BUILD:-build-demo}"
bash scripts/dependencias.sh time
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build "$build" --target qel-dfe >/dev/null
raiz="$(mktemp -d)"
trap 'rm -rf "$raiz"' EXIT
mkdir -p "$raiz/Qel/test/DFe"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
gerador=tests/integracao/documentos_impressao.py
/usr/bin/python3 "$gerador" cte 1 18 >"$raiz/cte.xml" 2>/dev/null
/usr/bin/python3 "$gerador" mdfe 2 "$documentos" 7 >"$raiz/mdfe.xml" 2>/dev/null

mede() { # name file
  local tempos=() memorias=()
  for ((i = 0; i < rodadas; i++)); do
    printf '%s\r\n' "TAREFA GERAR PDF" "ARQUIVO $raiz/$2" "PDF $raiz/$1.pdf" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
    /usr/bin/time -f "%e %M" -o "$raiz/tempo" "./$build/src/app/qel-dfe" --sem-janela >/dev/null
    read -r t m <"$raiz/tempo"
    tempos+=("$t")
    memorias+=("$m")
  done
  local mt mm
  mt=$(printf '%s\n' "${tempos[@]}" | sort -n | sed -n "$(((rodadas + 1) / 2))p")
  mm=$(printf '%s\n' "${memorias[@]}" | sort -n | sed -n "$(((rodadas + 1) / 2))p")
  echo "GERAR PDF, $1: mediana de $rodadas execuções ${mt} s, pico de memória ${mm} KiB," \
    "$(pdfinfo "$raiz/$1.pdf" | sed -n 's/^Pages: *//p') página(s)"
}
mede "CT-e com 18 NF-e" cte.xml
mede "MDF-e com $documentos documentos" mdfe.xml
