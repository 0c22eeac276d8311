#!/usr/bin/env bash
# Kills the program with SIGKILL at a series of points of an NF-e authorisation against the local
# simulator (before the send, while the answer is awaited, while the lot is polled, after the answer
# and before the archive is written, while printing), then runs it again. After each: the proc is
# archived exactly once, or the caller's document is untouched in the exchange folder — never
# neither, never both, never a half-written file, never the document authorised twice.
#
#   scripts/teste-queda.sh [--binario QEL-DFE] [ROUNDS]
#
# Without --binario it builds the program (Release, build-demo). ROUNDS repeats the series
# (default 1). Exit status 0 when every case held.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz_projeto="$PWD"
binario=""
if [ "${1:-}" = "--binario" ]; then
  # Absolute: the runs start in their own folders.
  binario="$(realpath "$2")"
  shift 2
fi
rodadas="${1:-1}"
if [ -z "$binario" ]; then
  bash scripts/dependencias.sh
  cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
  cmake --build build-demo --target qel-dfe >/dev/null
  binario="$PWD/build-demo/src/app/qel-dfe"
fi

trabalho="$(mktemp -d)"
simulador_pid=""
encerra() {
  [ -n "$simulador_pid" ] && kill "$simulador_pid" 2>/dev/null || true
  rm -rf "$trabalho"
}
trap encerra EXIT

certificados="$trabalho/certificados"
mkdir -p "$certificados"
sh tests/data/gera_certificados.sh "$certificados" >/dev/null
export QEL_DFE_CERTIFICADOS="$trabalho/loja" QEL_DFE_CA="$certificados/ca.crt"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$trabalho/xdg}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QEL_DFE_TEMPO_LIMITE=5 QEL_DFE_PAUSA_RETORNO=300
# What is sent is checked against the official schemas where the reference folder is.
if [ -d "${QEL_REFERENCIA:-}/schemas" ]; then export QEL_DFE_ESQUEMAS="$QEL_REFERENCIA/schemas"; fi
QEL_DFE_RAIZ="$trabalho/raiz0" "$binario" --importar-certificado "$certificados/empresa.pfx" <<<"1234" >/dev/null

cenario="$trabalho/cenario"
registro="$trabalho/simulador.log"
/usr/bin/python3 tools/simulador/simulador.py --porta 0 --certificado "$certificados/servidor.crt" \
  --chave "$certificados/servidor.key" --ca-clientes "$certificados/ca.crt" --arquivo-cenario "$cenario" \
  --lentidao 3 --registro "$registro" >"$trabalho/simulador.out" 2>&1 &
simulador_pid=$!
for _ in $(seq 100); do grep -q '^pronto ' "$trabalho/simulador.out" && break; sleep 0.1; done
porta=$(sed -n 's/^pronto \([0-9]*\).*/\1/p' "$trabalho/simulador.out")
[ -n "$porta" ] || { cat "$trabalho/simulador.out" >&2; exit 2; }
export QEL_DFE_HOST="127.0.0.1:$porta"

falhas=0
numero=100
# point (the status line after which the process is killed) | scenario of the first run
pontos=(
  "Preparando XML|normal"
  "Enviando XML - Recepcao|lento"
  "Consultando Retorno|normal"
  "Armazenando Arquivos|normal"
  "Imprimindo|normal"
)

caso() {
  local ponto="$1" primeiro="$2"
  numero=$((numero + 1))
  local raiz="$trabalho/raiz$numero"
  local dfe="$raiz/Qel/test/DFe"
  mkdir -p "$dfe" "$raiz/DFe"
  touch "$raiz/DFe/Homologacao.Qel"
  local chave
  chave=$(/usr/bin/python3 tests/integracao/documentos_teste.py nfe "$numero" 3 2>&1 >"$dfe/NFe$numero.xml")
  echo "$primeiro" >"$cenario"
  # The first run is held right after the point's status line, and killed there.
  (
    cd "$raiz"
    QEL_DFE_RAIZ="$raiz" QEL_DFE_PAUSA_TESTE="$ponto=4000" exec "$binario" --sem-janela >"$raiz/primeira.out" 2>&1
  ) &
  local pid=$!
  for _ in $(seq 200); do grep -q "^$ponto" "$raiz/primeira.out" 2>/dev/null && break; sleep 0.05; done
  # While the answer is awaited the request is on its way: give it a moment to arrive.
  [ "$primeiro" = "lento" ] && sleep 1
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo normal >"$cenario"
  (cd "$raiz" && QEL_DFE_RAIZ="$raiz" "$binario" --sem-janela >"$raiz/segunda.out" 2>&1) || true

  local procs documento meios problema=""
  procs=$(find "$raiz/DFe/Arquivos_XML" -iname "$chave-nfe.xml" 2>/dev/null | wc -l)
  documento=$( [ -f "$dfe/NFe$numero.xml" ] && echo 1 || echo 0 )
  meios=$(find "$raiz" -name '*.XXXXXX' -o -name '*.tmp' -o -name '.*.new' 2>/dev/null | wc -l)
  if [ "$procs" -eq 1 ] && [ "$documento" -eq 0 ]; then
    xmllint --noout "$(find "$raiz/DFe/Arquivos_XML" -iname "$chave-nfe.xml")" 2>/dev/null ||
      problema="proc malformado"
  elif [ "$procs" -eq 0 ] && [ "$documento" -eq 1 ]; then
    problema="nem arquivado na segunda execução"
  else
    problema="procs=$procs documento=$documento"
  fi
  [ "$meios" -eq 0 ] || problema="$problema arquivos pela metade: $meios"
  if [ -n "$(find "$raiz/DFe/Arquivos_XML" -path '*Pendentes*' -type f 2>/dev/null)" ]; then
    problema="$problema entrada pendente ficou"
  fi
  if [ -z "$problema" ]; then
    echo "ok     morto após \"$ponto\" ($primeiro): arquivado uma vez"
  else
    echo "FALHA  morto após \"$ponto\" ($primeiro): $problema"
    sed 's/^/         | /' "$raiz/segunda.out" | tail -8
    falhas=$((falhas + 1))
  fi
}

for _ in $(seq "$rodadas"); do
  for p in "${pontos[@]}"; do caso "${p%%|*}" "${p##*|}"; done
done
# Never sent twice as a new document: a second authorisation of a key would be answered 204.
duplicadas=$(grep 'servico=nfe_autorizacao' "$registro" | grep -c 'cStat=[0-9,]*204' || true)
if [ "$duplicadas" -ne 0 ]; then
  echo "FALHA  $duplicadas documento(s) enviado(s) duas vezes (resposta 204)"
  falhas=$((falhas + 1))
fi
echo "casos com falha: $falhas"
exit $((falhas > 0 ? 1 : 0))
