#!/usr/bin/python3
"""Local stand-in for the web services that qel-dfe talks to: the tax authorities (SEFAZ, SVRS,
national environment), the municipal NFS-e providers and NDD Cargo.

Serves their paths over HTTPS with a client certificate, checks the SOAP requests the way the
services do, verifies XML signatures independently with the xmlsec1 command and answers with
realistic messages.  Standard library only; run it with /usr/bin/python3.  The work is done by
the package `simulacao` next to this file; see README.md."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simulacao.servidor import main  # noqa: E402  (the package is found through the line above)

if __name__ == "__main__":
    main()
