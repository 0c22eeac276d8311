#!/usr/bin/env bash
# Builds the program and runs one task of a demo company on a demo drive root, unattended.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/dependencias.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-demo

raiz="$PWD/build-demo/raiz"
rm -rf "$raiz"
mkdir -p "$raiz/Qel/test/DFe/INI" "$raiz/servidor/DFe/INI"
cnpj=12345678000195
crlf() { sed 's/$/\r/'; }
printf 'SERVIDOR %s\n' "$raiz/servidor" | crlf >"$raiz/Qel/test/Qel.Ini"
touch "$raiz/servidor/DFe/Homologacao.Qel"
printf '%s\n' "NOME Empresa Demonstracao Ltda" "ENDERECO Rua das Flores, 100" "CIDADE Lajeado" \
  "FONE (51) 3714-0000" "CEP 95900-000" "EMAIL fiscal@empresa-demo.com.br" "BAIRRO Centro" \
  | crlf >"$raiz/servidor/DFe/INI/$cnpj.DFe"
printf '%s\n' "Logotipo " "Token " "IDToken " | crlf >"$raiz/servidor/DFe/INI/$cnpj.INI"
printf '%s\n' "Certificado CN=EMPRESA TESTE LTDA:$cnpj, OU=Teste, O=ICP-Brasil, C=BR" \
  "DANFE Impressora Impressora Padrao do Windows" \
  "DANFE Numero de Copias 1" | crlf >"$raiz/Qel/test/DFe/INI/$cnpj.INI"
printf '%s\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ $cnpj" "UF RS" | crlf >"$raiz/Qel/test/DFe/Qel_DFe.Qel"

# The demo company's certificate and the local authority simulator, with their own test CA.
certificados="$PWD/build-demo/certificados"
rm -rf "$certificados" && mkdir -p "$certificados"
sh tests/data/gera_certificados.sh "$certificados"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" QEL_DFE_CA="$certificados/ca.crt"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
echo 1234 | ./build-demo/src/app/qel-dfe --importar-certificado "$certificados/empresa.pfx"

source scripts/simulador-local.sh
inicia_simulador "$certificados"

echo "== qel-dfe --sem-janela (raiz: $raiz, simulador em $QEL_DFE_HOST)"
set +e
./build-demo/src/app/qel-dfe --sem-janela
codigo=$?
set -e
echo "== saída: $codigo"
exit "$codigo"
