#!/usr/bin/env bash
# Measures a service-status task, process start to exit, against the local simulator, beside the
# one thing a user could do instead: a curl POST of the same request with the same client
# certificate to the same server. The two alternate, N times each (default 30); the medians and
# their difference are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
vezes="${1:-30}"
bash scripts/dependencias.sh curl
bash scripts/demo.sh >/dev/null
raiz="$PWD/build-demo/raiz"
certificados="$PWD/build-demo/certificados"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" QEL_DFE_CA="$certificados/ca.crt"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
source scripts/simulador-local.sh
inicia_simulador "$certificados"

w=http://www.portalfiscal.inf.br
pedido="$(mktemp)"
printf '%s' '<?xml version="1.0" encoding="UTF-8"?><soap:Envelope xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:soap="http://www.w3.org/2003/05/soap-envelope"><soap:Body><nfeDadosMsg xmlns="'"$w"'/nfe/wsdl/NFeStatusServico4"><consStatServ xmlns="'"$w"'/nfe" versao="4.00"><tpAmb>2</tpAmb><cUF>43</cUF><xServ>STATUS</xServ></consStatServ></nfeDadosMsg></soap:Body></soap:Envelope>' >"$pedido"

ms() { echo $(( ($(date +%s%N) - $1) / 1000 )); }
nossos=()
curls=()
for _ in $(seq "$vezes"); do
  printf '%s\r\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ 12345678000195" "UF RS" >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  inicio=$(date +%s%N)
  ./build-demo/src/app/qel-dfe --sem-janela >/dev/null
  nossos+=("$(ms "$inicio")")
  inicio=$(date +%s%N)
  curl -s -o /dev/null --cert "$certificados/empresa.crt" --key "$certificados/empresa.key" \
    --cacert "$certificados/ca.crt" -H 'Content-Type: text/xml; charset="utf-8"' \
    -H "SOAPAction: \"$w/nfe/wsdl/NFeStatusServico4/nfeStatusServicoNF\"" --data-binary @"$pedido" \
    "https://$QEL_DFE_HOST/ws/NfeStatusServico/NfeStatusServico4.asmx"
  curls+=("$(ms "$inicio")")
done
rm -f "$pedido"
/usr/bin/python3 - "${nossos[*]}" "${curls[*]}" <<'PY'
import statistics, sys
nosso = [int(x) / 1000 for x in sys.argv[1].split()]
curl = [int(x) / 1000 for x in sys.argv[2].split()]
mn, mc = statistics.median(nosso), statistics.median(curl)
print(f"consulta de serviço, {len(nosso)} execuções alternadas (mediana):")
print(f"  qel-dfe --sem-janela   {mn:6.1f} ms  (mais lenta {max(nosso):.1f} ms)")
print(f"  curl, o mesmo pedido   {mc:6.1f} ms  (mais lenta {max(curl):.1f} ms)")
print(f"  diferença              {mn - mc:6.1f} ms")
PY
