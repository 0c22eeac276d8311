"""Local stand-in for the web services that qel-dfe talks to (tax authorities, NFS-e providers,
NDD Cargo).  The core (servidor, soap, assinatura, memoria, registro, cenarios) serves HTTPS and
checks what every service shares; one module per service family answers its own requests."""
