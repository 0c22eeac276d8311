#!/usr/bin/env bash
# Measures the official schema check of a large NF-e (990 items by default, the item count is the
# first argument) beside its signing, in one process (tools/bench_validacao.cpp): the signing of
# the cleaned document against the check of the signed lot request as it is sent. The schema is
# compiled once per run, as in the program; that first check is shown apart. Medians of REPETICOES,
# in RODADAS rounds; the figures are the medians of the rounds. The check must cost less than the
# signature. DOCUMENTO=nfe-reforma measures an NF-e with the tax reform's IBS/CBS groups in every
# item, against a schema folder with the reform's package (scripts/esquemas-reforma.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
itens="${1:-990}"
rodadas="${RODADAS:-5}"
repeticoes="${REPETICOES:-30}"
documento="${DOCUMENTO:-nfe}"
esquemas="${QEL_DFE_ESQUEMAS:-$PWD/../shared/reference/schemas}"
[ -f "$esquemas/nfe/enviNFe_v4.00.xsd" ] ||
  { echo "esquemas oficiais não encontrados em $esquemas (QEL_DFE_ESQUEMAS)" >&2; exit 1; }

cmake -S . -B build-medidas -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-medidas --target bench_validacao qel-dfe >/dev/null
qel="$PWD/build-medidas/src/app/qel-dfe"
bench="$PWD/build-medidas/tools/bench_validacao"

pasta="$(mktemp -d)"
trap 'rm -rf "$pasta"' EXIT
mkdir "$pasta/certificados"
sh tests/data/gera_certificados.sh "$pasta/certificados" >/dev/null
export QEL_DFE_RAIZ="$pasta/raiz" QEL_DFE_CERTIFICADOS="$pasta/loja"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
mkdir -p "$QEL_DFE_RAIZ"
echo 1234 | "$qel" --importar-certificado "$pasta/certificados/empresa.pfx" >/dev/null

# The tests' NF-e, valid against the schema once signed.
nfe="$pasta/NFe$itens.xml"
/usr/bin/python3 tests/integracao/documentos_teste.py "$documento" 1 "$itens" >"$nfe" 2>/dev/null

mediana() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
echo "NF-e ($documento) de $itens itens: $(stat -c %s "$nfe") bytes; esquemas: $esquemas"
echo "rodada  assinatura(ms)  validação(ms)  razão  primeira validação, com compilação(ms)"
assinaturas=() validacoes=() primeiras=() razoes=()
for r in $(seq "$rodadas"); do
  read -r a v p < <("$bench" "$nfe" "$QEL_DFE_CERTIFICADOS" "$esquemas" "$repeticoes")
  razao="$(awk -v a="$v" -v b="$a" 'BEGIN {printf "%.2f", a / b}')"
  assinaturas+=("$a") validacoes+=("$v") primeiras+=("$p") razoes+=("$razao")
  printf '%6s %15s %14s %6s %40s\n' "$r" "$a" "$v" "$razao" "$p"
done
echo "assinatura $(mediana "${assinaturas[@]}") ms; validação $(mediana "${validacoes[@]}") ms" \
  "(razão $(mediana "${razoes[@]}"), meta < 1.00); primeira validação com a compilação do esquema" \
  "$(mediana "${primeiras[@]}") ms (uma vez por execução)"
