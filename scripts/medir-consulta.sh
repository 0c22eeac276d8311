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
saida="$(mktemp)"
/usr/bin/python3 tools/simulador/simulador.py --porta 0 --certificado "$certificados/servidor.crt" \
  --chave "$certificados/servidor.key" --ca-clientes "$certificados/ca.crt" >"$saida" 2>&1 &
simulador=$!
trap 'kill $simulador 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^pronto ' "$saida" && break; sleep 0.1; done
export QEL_DFE_HOST="127.0.0.1:$(sed -n 's/^pronto \([0-9]*\).*/\1/p' "$saida")"
tempos=()
for _ in $(seq "$vezes"); do
  printf '%s\r\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ 12345678000195" "UF RS" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  inicio=$(date +%s%N)
  ./build-demo/src/app/qel-dfe --sem-janela >/dev/null
  tempos+=($(( ($(date +%s%N) - inicio) / 1000000 )))
done
printf '%s\n' "${tempos[@]}" | awk '{s+=$1; if ($1>m) m=$1} END {printf "consulta de serviço: %d execuções, média %.0f ms, a mais lenta %d ms\n", NR, s/NR, m}'
