#!/usr/bin/env bash
# Measures a service-status task, process start to exit, against the local simulator: runs the
# demo set-up once, then the task N times (default 20) and prints the mean and the slowest.
set -euo pipefail
cd "$(dirname "$0")/.."
vezes="${1:-20}"
bash scripts/demo.sh >/dev/null
raiz="$PWD/build-demo/raiz"
certificados="$PWD/build-demo/certificados"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" QEL_DFE_CA="$certificados/ca.crt"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
source scripts/simulador-local.sh
inicia_simulador "$certificados"
tempos=()
for _ in $(seq "$vezes"); do
  printf '%s\r\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ 12345678000195" "UF RS" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  inicio=$(date +%s%N)
  ./build-demo/src/app/qel-dfe --sem-janela >/dev/null
  tempos+=($(( ($(date +%s%N) - inicio) / 1000000 )))
done
printf '%s\n' "${tempos[@]}" | awk '{s+=$1; if ($1>m) m=$1} END {printf "consulta de serviço: %d execuções, média %.0f ms, a mais lenta %d ms\n", NR, s/NR, m}'
