#!/bin/sh
# Makes the test certificates in the folder given: a CA, the company's certificate (valid),
# an expired one with the same subject, one of another company, the company's in the legacy
# PKCS#12 encryption of older exports, and a PEM whose key belongs to another certificate.
# Every PKCS#12 password is "1234". Dates are fixed at noon UTC so the day is the same in
# every Brazilian time zone.
set -eu
cd "$1"
cat >ca.cnf <<'CNF'
[ ca ]
default_ca = qel
[ qel ]
dir = .
database = index.txt
new_certs_dir = novos
serial = serial
default_md = sha256
policy = livre
unique_subject = no
[ livre ]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = supplied
CNF
mkdir -p novos
: >index.txt
echo 1001 >serial
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 7300 \
  -subj "/C=BR/O=Qel Teste/CN=AC Qel Teste" 2>/dev/null

emite() { # name subject start end
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" 2>/dev/null
  openssl ca -batch -config ca.cnf -cert ca.crt -keyfile ca.key -in "$1.csr" -out "$1.crt" \
    -startdate "$3" -enddate "$4" -notext 2>/dev/null
  openssl pkcs12 -export -in "$1.crt" -inkey "$1.key" -certfile ca.crt -out "$1.pfx" -passout pass:1234
}
emite empresa "/C=BR/O=ICP-Brasil/OU=Teste/CN=EMPRESA TESTE LTDA:12345678000195" 20250102120000Z 20301230120000Z
emite vencido "/C=BR/O=ICP-Brasil/OU=Teste/CN=EMPRESA TESTE LTDA:12345678000195" 20200102120000Z 20210102120000Z
emite outra "/C=BR/O=ICP-Brasil/OU=Teste/CN=OUTRA EMPRESA SA:98765432000110" 20250102120000Z 20301230120000Z
# A company of alphanumeric CNPJ (in use from July 2026).
emite alfanumerica "/C=BR/O=ICP-Brasil/OU=Teste/CN=EMPRESA ALFANUMERICA LTDA:12ABC34501DE35" 20250102120000Z \
  20301230120000Z
openssl pkcs12 -export -legacy -in empresa.crt -inkey empresa.key -out empresa-legado.pfx -passout pass:1234
cat empresa.crt outra.key >chave-errada.pem
cat outra.crt outra.key >outra.pem

# The local authority simulator's server certificate (loopback), and one from an unknown CA.
cat >servidor.ext <<'EXT'
subjectAltName = IP:127.0.0.1, DNS:localhost
extendedKeyUsage = serverAuth
EXT
openssl req -newkey rsa:2048 -nodes -keyout servidor.key -out servidor.csr -subj "/CN=localhost" 2>/dev/null
openssl x509 -req -in servidor.csr -CA ca.crt -CAkey ca.key -set_serial 2001 -days 3650 -extfile servidor.ext \
  -out servidor.crt 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout estranha.key -out estranha-ca.crt -days 3650 \
  -subj "/CN=AC Estranha" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout servidor-estranho.key -out servidor-estranho.csr -subj "/CN=localhost" \
  2>/dev/null
openssl x509 -req -in servidor-estranho.csr -CA estranha-ca.crt -CAkey estranha.key -set_serial 3001 -days 3650 \
  -extfile servidor.ext -out servidor-estranho.crt 2>/dev/null
# A company certificate issued by the unknown CA: the simulator must refuse it as client.
openssl req -newkey rsa:2048 -nodes -keyout estranho-cliente.key -out estranho-cliente.csr \
  -subj "/C=BR/O=ICP-Brasil/CN=EMPRESA ESTRANHA:11111111000111" 2>/dev/null
openssl x509 -req -in estranho-cliente.csr -CA estranha-ca.crt -CAkey estranha.key -set_serial 3002 -days 3650 \
  -out estranho-cliente.crt 2>/dev/null
openssl pkcs12 -export -in estranho-cliente.crt -inkey estranho-cliente.key -out estranho-cliente.pfx \
  -passout pass:1234
