#!/usr/bin/env bash
# Measures "GERAR PDF" of an NF-e with many items (default 990) and of one with a single item:
# process start to exit, and peak memory (maximum resident set size).
set -euo pipefail
cd "$(dirname "$0")/.."
itens="${1:-990}"
bash scripts/dependencias.sh time
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-demo --target qel-dfe >/dev/null
raiz="$(mktemp -d)"
mkdir -p "$raiz/Qel/test/DFe"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
gera_nfe() { # items file
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
n, destino = int(sys.argv[1]), sys.argv[2]
det = "".join(
    f'<det nItem="{i}"><prod><cProd>COD{i}</cProd><cEAN>SEM GTIN</cEAN><xProd>PRODUTO DE TESTE NUMERO {i} COM '
    f'DESCRICAO LONGA QUE OCUPA MAIS DE UMA LINHA NA COLUNA</xProd><NCM>84713012</NCM><CFOP>5102</CFOP><uCom>UN</uCom>'
    f'<qCom>2.0000</qCom><vUnCom>10.50</vUnCom><vProd>21.00</vProd><indTot>1</indTot></prod><imposto><ICMS><ICMS00>'
    f'<orig>0</orig><CST>00</CST><vBC>21.00</vBC><pICMS>17.00</pICMS><vICMS>3.57</vICMS></ICMS00></ICMS></imposto></det>'
    for i in range(1, n + 1))
xml = ('<?xml version="1.0" encoding="UTF-8"?><nfeProc xmlns="http://www.portalfiscal.inf.br/nfe" versao="4.00"><NFe>'
       '<infNFe versao="4.00" Id="NFe43240112345678000195550010000012341000012349"><ide><cUF>43</cUF><natOp>VENDA</natOp>'
       '<mod>55</mod><serie>1</serie><nNF>1234</nNF><dhEmi>2024-01-15T10:00:00-03:00</dhEmi><tpNF>1</tpNF></ide><emit>'
       '<CNPJ>12345678000195</CNPJ><xNome>EMPRESA</xNome></emit><dest><CNPJ>98765432000110</CNPJ><xNome>CLIENTE</xNome>'
       '</dest>' + det + f'<total><ICMSTot><vProd>{21 * n}.00</vProd><vNF>{21 * n}.00</vNF></ICMSTot></total></infNFe>'
       '</NFe><protNFe><infProt><nProt>143240000012345</nProt></infProt></protNFe></nfeProc>')
open(destino, 'w').write(xml)
PY
}
for n in "$itens" 1; do
  gera_nfe "$n" "$raiz/nfe$n.xml"
  printf '%s\r\n' "TAREFA GERAR PDF" "ARQUIVO $raiz/nfe$n.xml" "PDF $raiz/danfe$n.pdf" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  /usr/bin/time -f "%e s, pico de memória %M KiB" -o "$raiz/tempo" ./build-demo/src/app/qel-dfe --sem-janela >/dev/null
  echo "GERAR PDF, $n itens: $(cat "$raiz/tempo"), $(pdfinfo "$raiz/danfe$n.pdf" | sed -n 's/^Pages: *//p') páginas"
done
rm -rf "$raiz"
