# Sourced by the scripts that need the local authority simulator: starts it on a free loopback
# port with the test certificates of the folder given, exports QEL_DFE_HOST and stops it on exit.
inicia_simulador() {
  local certificados="$1" saida
  saida="$(mktemp)"
  /usr/bin/python3 tools/simulador/simulador.py --porta 0 --certificado "$certificados/servidor.crt" \
    --chave "$certificados/servidor.key" --ca-clientes "$certificados/ca.crt" >"$saida" 2>&1 &
  SIMULADOR_PID=$!
  trap 'kill "$SIMULADOR_PID" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do grep -q '^pronto ' "$saida" && break; sleep 0.1; done
  local porta
  porta=$(sed -n 's/^pronto \([0-9]*\).*/\1/p' "$saida")
  [ -n "$porta" ] || { cat "$saida" >&2; return 2; }
  export QEL_DFE_HOST="127.0.0.1:$porta"
}
