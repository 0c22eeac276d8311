#!/usr/bin/env bash
# Measures "GERAR PDF" of our printouts beside the public generator a user would pick instead,
# @nfewizard/danfe (npm: DANFE of the NF-e and the NFC-e, DACTE), run by a small node script that
# reads the XML file and writes the PDF, one process per document like ours. Documents: the NFC-e
# of 200 items, the CT-e with every party and 18 NF-e, the MDF-e of 300 documents in 7 unloading
# municipalities and the NF-e of 990 items. Both sides get the very same file. Process start to
# exit and peak resident memory by /usr/bin/time, the median of RODADAS rounds (default 7); in each
# round the two sides run one after the other, the first alternating, so both see the same load.
# A run counts only when it ends with status 0 and its PDF has pages. QEL_BUILD names the build
# folder (default build-demo); their generator is installed under it, never globally.
set -euo pipefail
cd "$(dirname "$0")/.."
rodadas="${RODADAS:-7}"
build="${QEL_BUILD:-build-demo}"
versao_publica=1.0.7

# The NodeSource package of nodejs carries npm and conflicts with Debian's npm package: ask for
# Debian's pair only where there is no npm at all.
extras=(time poppler-utils make)
command -v npm >/dev/null || extras+=(nodejs npm)
bash scripts/dependencias.sh "${extras[@]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build "$build" --target qel-dfe >/dev/null
qel="$(cd "$build" && pwd)/src/app/qel-dfe"

# Their generator in a prefix of its own, kept between runs. @nfewizard/types holds TypeScript
# declarations only (nothing requires it at run time) and the registry may lack the exact version
# that 1.0.7 pins, so the newest published one stands in. Their shared module loads a native XML
# library at start, which npm builds with node-gyp against the installed node's headers (its
# download of prebuilt files fails offline and falls back to that build).
publico="$(cd "$build" && pwd)/impressos-publicos"
mkdir -p "$publico"
if ! node -e "
  if (require('$publico/node_modules/@nfewizard/danfe/package.json').version !== '$versao_publica') process.exit(1);
  require(require.resolve('@nfewizard/danfe', { paths: ['$publico'] }));" >/dev/null 2>&1; then
  rm -rf "$publico/node_modules" "$publico/package-lock.json"
  cat >"$publico/package.json" <<EOF
{ "name": "medida-impressos-publicos", "private": true,
  "dependencies": { "@nfewizard/danfe": "$versao_publica" },
  "overrides": { "@nfewizard/types": "1.0.10" } }
EOF
  npm install --prefix "$publico" --cache "$publico/.cache" --no-audit --no-fund --loglevel=error >/dev/null
fi
cat >"$publico/gera.cjs" <<'EOF'
// node gera.cjs nfe|nfce|cte DOCUMENTO.xml SAIDA.pdf: exit 0 only when the generator says it wrote the PDF.
const fs = require('fs');
const danfe = require('@nfewizard/danfe');
const [tipo, entrada, saida] = process.argv.slice(2);
const gera = { nfe: danfe.NFE_GerarDanfe, nfce: danfe.NFCE_GerarDanfe, cte: danfe.CTE_GerarDacte }[tipo];
gera({ data: fs.readFileSync(entrada, 'utf8'), outputPath: saida }).then(
  (r) => { if (!r || !r.success) { console.error(JSON.stringify(r)); process.exit(1); } },
  (e) => { console.error(String(e && e.stack || e)); process.exit(1); });
EOF

motivo() { grep -m1 -oE '(Error|Erro).{0,80}' "$1" || head -c 80 "$1" | tr '\n' ' '; }

declare -A cdata nos_t nos_m nos_p eles_t eles_m eles_p falha
raiz="$(mktemp -d)"
trap 'rm -rf "$raiz"' EXIT
mkdir -p "$raiz/Qel/test/DFe" "$raiz/doc"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

# The documents as the archive holds them. The NF-e and the NFC-e of the tests get the
# authority's protocol (and the NFC-e its QR group); the CT-e and the MDF-e come as procs.
gera_nfe() { # number items model file
  /usr/bin/python3 - "$@" <<'PY'
import sys
sys.path.insert(0, "tests/integracao")
import documentos_teste
numero, itens, modelo, destino = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
chave, nfe = documentos_teste.nfe(numero, itens, modelo)
if modelo == "65":
    qr = ("https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p=" + chave +
          "|2|2|1|3F1A9C0D2B7E4F6A8C1D3E5F7A9B0C2D4E6F8A1B")
    nfe = nfe.replace("</NFe>", "<infNFeSupl><qrCode><![CDATA[" + qr + "]]></qrCode>"
                      "<urlChave>www.sefaz.rs.gov.br/nfce/consulta</urlChave></infNFeSupl></NFe>")
open(destino, "w", encoding="utf-8").write(
    '<?xml version="1.0" encoding="UTF-8"?><nfeProc xmlns="http://www.portalfiscal.inf.br/nfe" versao="4.00">'
    + nfe + '<protNFe versao="4.00"><infProt><tpAmb>2</tpAmb><verAplic>RS20261201</verAplic><chNFe>' + chave +
    '</chNFe><dhRecbto>2026-12-01T10:00:05-03:00</dhRecbto><nProt>143260000000001</nProt>'
    '<digVal>AAAAAAAAAAAAAAAAAAAAAAAAAAA=</digVal><cStat>100</cStat><xMotivo>Autorizado o uso da NF-e</xMotivo>'
    '</infProt></protNFe></nfeProc>')
PY
}
gera_nfe 1 200 65 "$raiz/doc/nfce.xml"
gera_nfe 3 990 55 "$raiz/doc/nfe.xml"
/usr/bin/python3 tests/integracao/documentos_impressao.py cte 1 18 >"$raiz/doc/cte.xml" 2>/dev/null
/usr/bin/python3 tests/integracao/documentos_impressao.py mdfe 2 300 7 >"$raiz/doc/mdfe.xml" 2>/dev/null

# Their generator 1.0.7 stops at a QR text written as CDATA, as the authorities write it (the
# NFC-e: no PDF; the CT-e: a PDF without QR code, reported as success): tried once and said
# below; both sides are then measured on the same documents with the QR text as escaped
# character data, the same XML.
for d in nfce cte; do
  rm -f "$raiz/cdata.pdf"
  if node "$publico/gera.cjs" "$d" "$raiz/doc/$d.xml" "$raiz/cdata.pdf" >/dev/null 2>"$raiz/cdata.err" &&
    [ ! -s "$raiz/cdata.err" ]; then
    cdata[$d]="ok"
  else
    cdata[$d]="$(motivo "$raiz/cdata.err")"
  fi
done
for d in nfce nfe cte mdfe; do
  /usr/bin/python3 -c '
import re, sys
from xml.sax.saxutils import escape
t = open(sys.argv[1], encoding="utf-8").read()
open(sys.argv[1], "w", encoding="utf-8").write(
    re.sub(r"<!\[CDATA\[(.*?)\]\]>", lambda m: escape(m.group(1)), t, flags=re.S))' "$raiz/doc/$d.xml"
done

paginas() { pdfinfo "$1" 2>/dev/null | sed -n 's/^Pages: *//p'; }

nosso() { # document -> "seconds KiB pages", or nothing when the run failed
  local pdf="$raiz/nosso-$1.pdf"
  rm -f "$pdf"
  printf '%s\r\n' "TAREFA GERAR PDF" "ARQUIVO $raiz/doc/$1.xml" "PDF $pdf" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  /usr/bin/time -f "%e %M" -o "$raiz/tempo" "$qel" --sem-janela >"$raiz/nosso.log" 2>&1 || return 0
  local p
  p="$(paginas "$pdf")"
  [ -n "$p" ] && [ "$p" -gt 0 ] && echo "$(cat "$raiz/tempo") $p"
  return 0
}

deles() { # document kind -> "seconds KiB pages", or nothing when the run failed
  local pdf="$raiz/deles-$1.pdf"
  rm -f "$pdf"
  /usr/bin/time -f "%e %M" -o "$raiz/tempo" node "$publico/gera.cjs" "$2" "$raiz/doc/$1.xml" "$pdf" \
    >/dev/null 2>"$raiz/deles-$1.err" || return 0
  local p
  p="$(paginas "$pdf")"
  [ -n "$p" ] && [ "$p" -gt 0 ] && echo "$(cat "$raiz/tempo") $p"
  return 0
}

mediana() { sort -n | sed -n "$(((rodadas + 1) / 2))p"; }

documentos=(nfce cte mdfe nfe)
declare -A tipo=([nfce]=nfce [cte]=cte [nfe]=nfe [mdfe]="")
declare -A nome=([nfce]="NFC-e, 200 itens" [cte]="CT-e, 18 NF-e" [mdfe]="MDF-e, 300 documentos"
  [nfe]="NF-e, 990 itens")

echo "Carga no início: $(uptime)"
for ((i = 0; i < rodadas; i++)); do
  for d in "${documentos[@]}"; do
    ordem=(nosso deles)
    ((i % 2)) && ordem=(deles nosso)
    for lado in "${ordem[@]}"; do
      if [ "$lado" = nosso ]; then
        r="$(nosso "$d")"
        [ -n "$r" ] || { echo "GERAR PDF de $d falhou:" >&2; tail -5 "$raiz/nosso.log" >&2; exit 1; }
        read -r t m p <<<"$r"
        nos_t[$d]+="$t "; nos_m[$d]+="$m "; nos_p[$d]="$p"
      elif [ -n "${tipo[$d]}" ] && [ -z "${falha[$d]:-}" ]; then
        r="$(deles "$d" "${tipo[$d]}")"
        if [ -z "$r" ]; then
          falha[$d]="$(motivo "$raiz/deles-$d.err")"
          continue
        fi
        read -r t m p <<<"$r"
        eles_t[$d]+="$t "; eles_m[$d]+="$m "; eles_p[$d]="$p"
      fi
    done
  done
done
echo "Carga no fim:    $(uptime)"
echo
echo "GERAR PDF, do início ao fim do processo, mediana de $rodadas execuções alternadas; memória: pico residente"
echo "Deles: @nfewizard/danfe $(node -p "require('$publico/node_modules/@nfewizard/danfe/package.json').version")" \
  "(pdfkit $(node -p "require('$publico/node_modules/pdfkit/package.json').version")), node $(node -v)"
printf '%-24s | %8s %8s %4s | %8s %8s %4s | %12s %14s\n' Documento "nosso s" "nosso MB" pág "deles s" "deles MB" \
  pág "razão tempo" "razão memória"
for d in "${documentos[@]}"; do
  nt="$(tr ' ' '\n' <<<"${nos_t[$d]}" | grep . | mediana)"
  nm="$(tr ' ' '\n' <<<"${nos_m[$d]}" | grep . | mediana)"
  if [ -z "${tipo[$d]}" ]; then
    printf '%-24s | %8.2f %8.1f %4s | %s\n' "${nome[$d]}" "$nt" "$(awk -v k="$nm" 'BEGIN { print k / 1024 }')" \
      "${nos_p[$d]}" "nenhum gerador público de DAMDFE encontrado no npm"
  elif [ -n "${falha[$d]:-}" ]; then
    printf '%-24s | %8.2f %8.1f %4s | %s\n' "${nome[$d]}" "$nt" "$(awk -v k="$nm" 'BEGIN { print k / 1024 }')" \
      "${nos_p[$d]}" "deles falhou: ${falha[$d]}"
  else
    et="$(tr ' ' '\n' <<<"${eles_t[$d]}" | grep . | mediana)"
    em="$(tr ' ' '\n' <<<"${eles_m[$d]}" | grep . | mediana)"
    awk -v n="${nome[$d]}" -v nt="$nt" -v nm="$nm" -v np="${nos_p[$d]}" -v et="$et" -v em="$em" \
      -v ep="${eles_p[$d]}" 'BEGIN {
        printf "%-24s | %8.2f %8.1f %4s | %8.2f %8.1f %4s | %12.2f %14.2f\n",
               n, nt, nm / 1024, np, et, em / 1024, ep, (et > 0 ? nt / et : 0), nm / em }'
  fi
done
echo "razão = nosso / deles (a meta: abaixo de 0,33)"
echo
echo "Deles com o texto do QR em CDATA, como as autoridades o escrevem:" \
  "NFC-e ${cdata[nfce]}; CT-e ${cdata[cte]}"
