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
printf '%s\n' "Certificado EMPRESA DEMONSTRACAO LTDA:$cnpj" "DANFE Impressora Impressora Padrao do Windows" \
  "DANFE Numero de Copias 1" | crlf >"$raiz/Qel/test/DFe/INI/$cnpj.INI"
printf '%s\n' "TAREFA CONSULTAR SERVICO (NFE)" "CNPJ $cnpj" "UF RS" | crlf >"$raiz/Qel/test/DFe/Qel_DFe.Qel"

echo "== qel-dfe --sem-janela (raiz: $raiz)"
set +e
XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}" QEL_DFE_RAIZ="$raiz" ./build-demo/src/app/qel-dfe --sem-janela
codigo=$?
set -e
echo "== saída: $codigo"
exit "$codigo"
