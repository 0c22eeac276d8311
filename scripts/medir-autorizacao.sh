#!/usr/bin/env bash
# Measures "RECEPCAO" of a 20-item NF-e against the local simulator answering at once (the lot
# processed at the first query), process start to exit, DANFE PDF included, beside the two tasks
# it is made of: the status task and "GERAR PDF" of the same document. They alternate, N rounds
# (default 15); the medians are printed with the margin left under "status + PDF + 100 ms".
set -euo pipefail
cd "$(dirname "$0")/.."
rodadas="${1:-15}"
itens="${ITENS:-20}"
bash scripts/dependencias.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-demo --target qel-dfe >/dev/null
qel="$PWD/build-demo/src/app/qel-dfe"

trabalho="$(mktemp -d)"
trap 'kill "${SIMULADOR_PID:-}" 2>/dev/null || true; rm -rf "$trabalho"' EXIT
certificados="$trabalho/certificados"
mkdir -p "$certificados"
sh tests/data/gera_certificados.sh "$certificados" >/dev/null
raiz="$trabalho/raiz"
mkdir -p "$raiz/Qel/test/DFe" "$raiz/DFe"
touch "$raiz/DFe/Homologacao.Qel"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$trabalho/loja" QEL_DFE_CA="$certificados/ca.crt"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$trabalho/xdg}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$qel" --importar-certificado "$certificados/empresa.pfx" <<<"1234" >/dev/null
/usr/bin/python3 tools/simulador/simulador.py --porta 0 --certificado "$certificados/servidor.crt" \
  --chave "$certificados/servidor.key" --ca-clientes "$certificados/ca.crt" --cenario imediato \
  >"$trabalho/simulador.out" 2>&1 &
SIMULADOR_PID=$!
for _ in $(seq 100); do grep -q '^pronto ' "$trabalho/simulador.out" && break; sleep 0.1; done
export QEL_DFE_HOST="127.0.0.1:$(sed -n 's/^pronto \([0-9]*\).*/\1/p' "$trabalho/simulador.out")"

dfe="$raiz/Qel/test/DFe"
ms() { echo $(( ($(date +%s%N) - $1) / 1000 )); }
autorizacoes=() status=() pdfs=()
for i in $(seq "$rodadas"); do
  numero=$((5000 + i))
  chave=$(/usr/bin/python3 tests/integracao/documentos_teste.py nfe "$numero" "$itens" 2>&1 >"$dfe/NFe$numero.xml")
  inicio=$(date +%s%N)
  (cd "$raiz" && "$qel" --sem-janela >/dev/null) || { echo "RECEPCAO falhou" >&2; exit 1; }
  autorizacoes+=("$(ms "$inicio")")
  proc=$(find "$raiz/DFe/Arquivos_XML" -name "$chave-nfe.xml")
  printf '%s\r\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ 12345678000195" "UF RS" >"$dfe/Qel_DFe.Qel"
  inicio=$(date +%s%N)
  (cd "$raiz" && "$qel" --sem-janela >/dev/null)
  status+=("$(ms "$inicio")")
  printf '%s\r\n' "TAREFA GERAR PDF" "ARQUIVO $proc" "PDF $trabalho/danfe$numero.pdf" >"$dfe/Qel_DFe.Qel"
  inicio=$(date +%s%N)
  (cd "$raiz" && "$qel" --sem-janela >/dev/null)
  pdfs+=("$(ms "$inicio")")
done
/usr/bin/python3 - "${autorizacoes[*]}" "${status[*]}" "${pdfs[*]}" "$itens" <<'PY'
import statistics, sys
a, s, p = ([int(x) / 1000 for x in arg.split()] for arg in sys.argv[1:4])
ma, ms, mp = statistics.median(a), statistics.median(s), statistics.median(p)
print(f"{len(a)} rodadas alternadas, NF-e de {sys.argv[4]} itens (medianas):")
print(f"  RECEPCAO (com o PDF do DANFE)   {ma:7.1f} ms")
print(f"  CONSULTAR SERVICO               {ms:7.1f} ms")
print(f"  GERAR PDF do mesmo documento    {mp:7.1f} ms")
print(f"  limite (status + PDF + 100)     {ms + mp + 100:7.1f} ms  -> folga {ms + mp + 100 - ma:6.1f} ms")
PY
