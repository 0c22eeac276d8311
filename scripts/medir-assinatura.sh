#!/usr/bin/env bash
# Measures the signing of a large NF-e (990 items, about 800 KB, one element per indented line
# with CR LF, as other programs write it; the item count is the first argument) against
# python3-xmlsec and the xmlsec1 command:
#  (a) in the process: bench_assinatura, from the file's bytes to the signed text ready for
#      output, against python3-xmlsec parsing the same bytes, signing them with the same
#      template and serialising the tree. Medians of REPETICOES signatures, in RODADAS rounds
#      that alternate the two; the figure is the median of the rounds.
#  (b) per process, start to exit: "qel-dfe --assinar" of the document against
#      "xmlsec1 --sign" of it (with the template in place), by hyperfine, in the same rounds;
#      "qel-dfe --assinar" of a one-item NF-e shows the part that does not depend on size.
set -euo pipefail
cd "$(dirname "$0")/.."
itens="${1:-990}"
rodadas="${RODADAS:-5}"
repeticoes="${REPETICOES:-30}"

bash scripts/dependencias.sh python3-xmlsec python3-lxml xmlsec1 hyperfine
# Debian's python3-xmlsec and python3-lxml are seen by Debian's own interpreter only.
python=/usr/bin/python3

cmake -S . -B build-medidas -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-medidas --target bench_assinatura qel-dfe >/dev/null
qel="$PWD/build-medidas/src/app/qel-dfe"
bench="$PWD/build-medidas/tools/bench_assinatura"

pasta="$(mktemp -d)"
trap 'rm -rf "$pasta"' EXIT
mkdir "$pasta/certificados"
sh tests/data/gera_certificados.sh "$pasta/certificados" >/dev/null
pfx="$pasta/certificados/empresa.pfx"

# The company of the demo, remembering its certificate, with the certificate imported.
cnpj=12345678000195
raiz="$pasta/raiz"
mkdir -p "$raiz/Qel/test/DFe/INI" "$raiz/servidor/DFe/INI"
crlf() { sed 's/$/\r/'; }
printf 'SERVIDOR %s\n' "$raiz/servidor" | crlf >"$raiz/Qel/test/Qel.Ini"
printf '%s\n' "NOME Empresa Demonstracao Ltda" "CIDADE Lajeado" | crlf >"$raiz/servidor/DFe/INI/$cnpj.DFe"
printf '%s\n' "Logotipo " | crlf >"$raiz/servidor/DFe/INI/$cnpj.INI"
printf '%s\n' "Certificado CN=EMPRESA TESTE LTDA:$cnpj, OU=Teste, O=ICP-Brasil, C=BR" | crlf \
  >"$raiz/Qel/test/DFe/INI/$cnpj.INI"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$pasta/loja"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
echo 1234 | "$qel" --importar-certificado "$pfx" >/dev/null

# The NF-e (and the same with the empty template, for the xmlsec1 command). The signature
# template is the program's, plus an empty X509Data that the other signers fill with the
# certificate, as the program adds KeyInfo.
gera_nfe() { # items file file-with-template
  "$python" - "$@" <<'PY'
import sys
n, destino, com_modelo = int(sys.argv[1]), sys.argv[2], sys.argv[3]
def det(i):
    return f'''    <det nItem="{i}">
      <prod>
        <cProd>COD{i}</cProd>
        <cEAN>SEM GTIN</cEAN>
        <xProd>PRODUTO DE TESTE NÚMERO {i} COM DESCRIÇÃO LONGA QUE OCUPA MAIS DE UMA LINHA NA COLUNA</xProd>
        <NCM>84713012</NCM>
        <CFOP>5102</CFOP>
        <uCom>UN</uCom>
        <qCom>2.0000</qCom>
        <vUnCom>10.50</vUnCom>
        <vProd>21.00</vProd>
        <cEANTrib>SEM GTIN</cEANTrib>
        <uTrib>UN</uTrib>
        <qTrib>2.0000</qTrib>
        <vUnTrib>10.50</vUnTrib>
        <indTot>1</indTot>
      </prod>
      <imposto>
        <ICMS>
          <ICMS00>
            <orig>0</orig>
            <CST>00</CST>
            <modBC>3</modBC>
            <vBC>21.00</vBC>
            <pICMS>17.00</pICMS>
            <vICMS>3.57</vICMS>
          </ICMS00>
        </ICMS>
      </imposto>
    </det>
'''
chave = 'NFe43240112345678000195550010000012341000012349'
xml = ('<?xml version="1.0" encoding="UTF-8"?>\n<NFe xmlns="http://www.portalfiscal.inf.br/nfe">\n'
       f'  <infNFe versao="4.00" Id="{chave}">\n'
       '    <ide>\n      <cUF>43</cUF>\n      <natOp>VENDA DE MERCADORIA</natOp>\n      <mod>55</mod>\n'
       '      <serie>1</serie>\n      <nNF>1234</nNF>\n      <dhEmi>2024-01-15T10:00:00-03:00</dhEmi>\n'
       '      <tpNF>1</tpNF>\n    </ide>\n'
       '    <emit>\n      <CNPJ>12345678000195</CNPJ>\n      <xNome>EMPRESA TESTE LTDA</xNome>\n    </emit>\n'
       '    <dest>\n      <CNPJ>98765432000110</CNPJ>\n      <xNome>CLIENTE</xNome>\n    </dest>\n'
       + ''.join(det(i) for i in range(1, n + 1)) +
       f'    <total>\n      <ICMSTot>\n        <vProd>{21 * n}.00</vProd>\n        <vNF>{21 * n}.00</vNF>\n'
       '      </ICMSTot>\n    </total>\n  </infNFe>\n</NFe>\n')
open(destino, 'w', newline='\r\n', encoding='utf-8').write(xml)
modelo = ('<Signature xmlns="http://www.w3.org/2000/09/xmldsig#"><SignedInfo>'
          '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
          '<SignatureMethod Algorithm="http://www.w3.org/2000/09/xmldsig#rsa-sha1"/>'
          f'<Reference URI="#{chave}"><Transforms>'
          '<Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/>'
          '<Transform Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/></Transforms>'
          '<DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/><DigestValue></DigestValue>'
          '</Reference></SignedInfo><SignatureValue></SignatureValue><KeyInfo><X509Data/></KeyInfo></Signature>')
corte = xml.rindex('</NFe>')
open(com_modelo, 'w', newline='\r\n', encoding='utf-8').write(xml[:corte] + modelo + xml[corte:])
PY
}
nfe="$pasta/NFe$itens.xml"
gera_nfe "$itens" "$nfe" "$pasta/modelo$itens.xml"
gera_nfe 1 "$pasta/NFe1.xml" "$pasta/modelo1.xml"

# python3-xmlsec in its own process: parse, template, sign, serialise; the median in ms.
cat >"$pasta/assina.py" <<'PY'
import statistics, sys, time
from lxml import etree
import xmlsec
arquivo, pfx, repeticoes = sys.argv[1], sys.argv[2], int(sys.argv[3])
dados = open(arquivo, 'rb').read()
chave = xmlsec.Key.from_file(pfx, xmlsec.constants.KeyDataFormatPkcs12, '1234')
def assina():
    raiz = etree.fromstring(dados)
    assinado = raiz[0]
    modelo = etree.fromstring(
        '<Signature xmlns="http://www.w3.org/2000/09/xmldsig#"><SignedInfo>'
        '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
        '<SignatureMethod Algorithm="http://www.w3.org/2000/09/xmldsig#rsa-sha1"/>'
        f'<Reference URI="#{assinado.get("Id")}"><Transforms>'
        '<Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/>'
        '<Transform Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/></Transforms>'
        '<DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/><DigestValue></DigestValue>'
        '</Reference></SignedInfo><SignatureValue></SignatureValue><KeyInfo><X509Data/></KeyInfo></Signature>')
    raiz.append(modelo)
    ctx = xmlsec.SignatureContext()
    ctx.key = chave
    ctx.register_id(assinado, 'Id')
    ctx.sign(modelo)
    return etree.tostring(raiz)
assina()  # the libraries' set-up, as the bench's first signature
tempos = []
for _ in range(repeticoes):
    inicio = time.perf_counter()
    assina()
    tempos.append((time.perf_counter() - inicio) * 1000)
print(f'{statistics.median(tempos):.3f}')
PY

# Everything measured signs validly, and the program and the bench give the same bytes.
"$bench" "$nfe" "$QEL_DFE_CERTIFICADOS" 1 "$pasta/assinada-bench.xml" >/dev/null
"$qel" --assinar "$nfe" --cnpj "$cnpj" >"$pasta/assinada-qel.xml"
cmp -s "$pasta/assinada-bench.xml" "$pasta/assinada-qel.xml" ||
  { echo "bench_assinatura e qel-dfe --assinar assinam diferente" >&2; exit 1; }
verifica() { xmlsec1 --verify --id-attr:Id infNFe --pubkey-cert-pem "$pasta/certificados/empresa.crt" "$1" >/dev/null 2>&1; }
verifica "$pasta/assinada-qel.xml" || { echo "a assinatura do qel-dfe não verifica" >&2; exit 1; }
xmlsec1 --sign --id-attr:Id infNFe --pkcs12 "$pfx" --pwd 1234 --output "$pasta/assinada-xmlsec1.xml" \
  "$pasta/modelo$itens.xml"
verifica "$pasta/assinada-xmlsec1.xml" || { echo "a assinatura do xmlsec1 não verifica" >&2; exit 1; }

mediana() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
razao() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
medianaHyperfine() { # json index -> ms
  "$python" -c 'import json, sys; r = json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]; print("%.1f" % (r["median"] * 1000))' "$1" "$2"
}

echo "NF-e de $itens itens: $(stat -c %s "$nfe") bytes; assinada: $(stat -c %s "$pasta/assinada-qel.xml") bytes"
echo "rodada   bench(ms)  python(ms)  razão  | xmlsec1(ms)  qel-dfe(ms)  qel-dfe 1 item(ms)  razão"
nossos=() pythons=() xmlsecs=() qels=() qels1=() razoesA=() razoesB=()
for r in $(seq "$rodadas"); do
  nosso="$("$bench" "$nfe" "$QEL_DFE_CERTIFICADOS" "$repeticoes")"
  py="$("$python" "$pasta/assina.py" "$nfe" "$pfx" "$repeticoes")"
  hyperfine -N -w 2 -r 10 --export-json "$pasta/h.json" \
    "xmlsec1 --sign --id-attr:Id infNFe --pkcs12 $pfx --pwd 1234 --output $pasta/saida.xml $pasta/modelo$itens.xml" \
    "$qel --assinar $nfe --cnpj $cnpj" "$qel --assinar $pasta/NFe1.xml --cnpj $cnpj" >/dev/null \
    2>"$pasta/hyperfine.txt" || { cat "$pasta/hyperfine.txt" >&2; exit 1; }
  x="$(medianaHyperfine "$pasta/h.json" 0)" q="$(medianaHyperfine "$pasta/h.json" 1)"
  q1="$(medianaHyperfine "$pasta/h.json" 2)"
  nossos+=("$nosso") pythons+=("$py") xmlsecs+=("$x") qels+=("$q") qels1+=("$q1")
  razoesA+=("$(razao "$nosso" "$py")") razoesB+=("$(razao "$q" "$x")")
  printf '%6s %11s %11s %6s  | %11s %12s %19s %6s\n' "$r" "$nosso" "$py" "${razoesA[-1]}" "$x" "$q" "$q1" \
    "${razoesB[-1]}"
done
# Each round's two sides ran one right after the other: the ratio is the median of the rounds'
# ratios, which a change of load on the machine between rounds affects least.
n="$(mediana "${nossos[@]}")" p="$(mediana "${pythons[@]}")"
x="$(mediana "${xmlsecs[@]}")" q="$(mediana "${qels[@]}")" q1="$(mediana "${qels1[@]}")"
echo "(a) no processo: assinatura $n ms, python3-xmlsec $p ms (medianas): razão $(mediana "${razoesA[@]}") (meta 0.60)"
echo "(b) por processo: qel-dfe --assinar $q ms (1 item: $q1 ms), xmlsec1 --sign $x ms (medianas):" \
  "razão $(mediana "${razoesB[@]}") (meta 1.00)"
