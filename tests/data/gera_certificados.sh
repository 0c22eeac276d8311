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
openssl pkcs12 -export -legacy -in empresa.crt -inkey empresa.key -out empresa-legado.pfx -passout pass:1234
cat empresa.crt outra.key >chave-errada.pem
cat outra.crt outra.key >outra.pem
