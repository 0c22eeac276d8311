#!/usr/bin/env bash
# Installs a folder of official schema packages (nfe/, cte/, mdfe/, dfe/, nfse/…, as the
# authorities publish them) into the schema folder the program reads before every send:
# $QEL_DFE_ESQUEMAS, or qel-dfe/esquemas in the user's data folder. A new technical note's package
# is installed the same way, without a new build: its files replace the old ones.
#
#   scripts/esquemas.sh [ORIGEM]      (default: ../shared/reference/schemas beside the repository)
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
origem="${1:-$raiz/../shared/reference/schemas}"
[ -d "$origem" ] || { echo "pasta de esquemas não encontrada: $origem" >&2; exit 1; }
origem="$(cd "$origem" && pwd)"
destino="${QEL_DFE_ESQUEMAS:-${XDG_DATA_HOME:-$HOME/.local/share}/qel-dfe/esquemas}"
mkdir -p "$destino"

# The schemas and a table of the folder's own; each file is copied beside its target and renamed
# over it, so a run that reads the folder meanwhile sees the old file or the new one, never half.
total=0
while IFS= read -r -d '' arquivo; do
  mkdir -p "$destino/$(dirname "$arquivo")"
  cp "$origem/$arquivo" "$destino/$arquivo.novo.$$"
  mv -f "$destino/$arquivo.novo.$$" "$destino/$arquivo"
  total=$((total + 1))
done < <(cd "$origem" && find . -type f \( -name '*.xsd' -o -name 'esquemas.conf' \) -print0)
[ "$total" -gt 0 ] || { echo "nenhum esquema (.xsd) em $origem" >&2; exit 1; }
echo "$total esquemas instalados em $destino"
