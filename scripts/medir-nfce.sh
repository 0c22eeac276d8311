#!/usr/bin/env bash
# Measures "GERAR PDF" of the DANFE NFC-e of an NFC-e with many items (default 200) and of one with
# a single item: process start to exit and peak memory (maximum resident set size), the median of a
# few runs each, and the length of the roll. QEL_BUILD names the build folder (default build-demo).
set -euo pipefail
cd "$(dirname "$0")/.."
itens="${1:-200}"
rodadas="${RODADAS:-5}"
build="${QEL_BUILD:-build-demo}"
bash scripts/dependencias.sh time
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build "$build" --target qel-dfe >/dev/null
raiz="$(mktemp -d)"
trap 'rm -rf "$raiz"' EXIT
mkdir -p "$raiz/Qel/test/DFe"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

# The tests' NFC-e as the archive holds it: with its QR group and the authority's protocol.
gera_nfce() { # number items file
  /usr/bin/python3 tests/integracao/documentos_teste.py nfe "$1" "$2" 65 2>"$raiz/chave" |
    /usr/bin/python3 -c '
import sys
documento = sys.stdin.read()  # the key file is complete once the generator has finished writing
chave = open(sys.argv[1]).read().strip()
nfe = documento[documento.index("<NFe"):]
qr = "https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p=" + chave + "|2|2|1|3F1A9C0D2B7E4F6A8C1D3E5F7A9B0C2D4E6F8A1B"
nfe = nfe.replace("</NFe>", "<infNFeSupl><qrCode><![CDATA[" + qr + "]]></qrCode><urlChave>"
                  "www.sefaz.rs.gov.br/nfce/consulta</urlChave></infNFeSupl></NFe>")
sys.stdout.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
                 "versao=\"4.00\">" + nfe + "<protNFe versao=\"4.00\"><infProt><nProt>143260000000001</nProt>"
                 "<dhRecbto>2026-12-01T10:00:05-03:00</dhRecbto><cStat>100</cStat></infProt></protNFe></nfeProc>")
' "$raiz/chave" >"$3"
}

mede() { # name file
  local tempos=() memorias=()
  for ((i = 0; i < rodadas; i++)); do
    printf '%s\r\n' "TAREFA GERAR PDF" "ARQUIVO $raiz/$2" "PDF $raiz/$1.pdf" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
    /usr/bin/time -f "%e %M" -o "$raiz/tempo" "./$build/src/app/qel-dfe" --sem-janela >/dev/null
    read -r t m <"$raiz/tempo"
    tempos+=("$t")
    memorias+=("$m")
  done
  local mt mm altura
  mt=$(printf '%s\n' "${tempos[@]}" | sort -n | sed -n "$(((rodadas + 1) / 2))p")
  mm=$(printf '%s\n' "${memorias[@]}" | sort -n | sed -n "$(((rodadas + 1) / 2))p")
  altura=$(pdfinfo "$raiz/$1.pdf" | sed -n 's/^Page size: *[0-9.]* x \([0-9.]*\) pts.*/\1/p')
  echo "GERAR PDF, $1: mediana de $rodadas execuções ${mt} s, pico de memória ${mm} KiB," \
    "$(pdfinfo "$raiz/$1.pdf" | sed -n 's/^Pages: *//p') página de $(awk -v p="$altura" 'BEGIN { printf "%.0f", p * 25.4 / 72 }') mm"
}
gera_nfce 1 "$itens" "$raiz/nfce$itens.xml"
gera_nfce 2 1 "$raiz/nfce1.xml"
mede "NFC-e com $itens itens" "nfce$itens.xml"
mede "NFC-e com 1 item" nfce1.xml
