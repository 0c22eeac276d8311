#!/usr/bin/env bash
# Makes sure a CUPS scheduler runs and has the virtual PDF printer "QelPDF" (cups-pdf), for the
# printing tests. Needs root; without root it only says why it cannot.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "fila-cups: precisa de root para iniciar o CUPS; os testes de impressão serão pulados" >&2
  exit 0
fi
if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
  mkdir -p /run/cups
  /usr/sbin/cupsd
  for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
fi
if ! lpstat -p QelPDF >/dev/null 2>&1; then
  lpadmin -p QelPDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null
fi
lpstat -p QelPDF
