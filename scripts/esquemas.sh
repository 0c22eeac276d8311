#!/usr/bin/env bash
# Installs official schema packages into the schema folder the program reads before every send:
# $QEL_DFE_ESQUEMAS, or qel-dfe/esquemas in the user's data folder. A new technical note's package
# is installed the same way, without a new build: its files replace the old ones.
#
#   scripts/esquemas.sh [ORIGEM]     a folder laid out by kind (nfe/, cte/, mdfe/, dfe/, nfse/…);
#                                    default: ../shared/reference/schemas beside the repository
#   scripts/esquemas.sh --nfe PACOTE an NF-e package as the national portal publishes it (one flat
#                                    folder of .xsd files, e.g. PL_010b unzipped): into nfe/
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
subpasta=""
profundidade=()
if [ "${1:-}" = "--nfe" ]; then
  [ $# -ge 2 ] || { echo "uso: $0 --nfe PASTA_DO_PACOTE" >&2; exit 2; }
  subpasta="nfe/"
  profundidade=(-maxdepth 1)
  shift
fi
origem="${1:-$raiz/../shared/reference/schemas}"
[ -d "$origem" ] || { echo "pasta de esquemas não encontrada: $origem" >&2; exit 1; }
origem="$(cd "$origem" && pwd)"
destino="${QEL_DFE_ESQUEMAS:-${XDG_DATA_HOME:-$HOME/.local/share}/qel-dfe/esquemas}"
mkdir -p "$destino"

# The schemas and a table of the folder's own; each file is copied beside its target and renamed
# over it, so a run that reads the folder meanwhile sees the old file or the new one, never half.
total=0
while IFS= read -r -d '' arquivo; do
  alvo="$destino/$subpasta${arquivo#./}"
  mkdir -p "$(dirname "$alvo")"
  cp "$origem/$arquivo" "$alvo.novo.$$"
  mv -f "$alvo.novo.$$" "$alvo"
  total=$((total + 1))
done < <(cd "$origem" && find . "${profundidade[@]}" -type f \( -name '*.xsd' -o -name 'esquemas.conf' \) -print0)
[ "$total" -gt 0 ] || { echo "nenhum esquema (.xsd) em $origem" >&2; exit 1; }
echo "$total esquemas instalados em $destino/$subpasta"
