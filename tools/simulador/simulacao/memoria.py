"""What the services remember during one run: authorised, denied, cancelled and closed documents,
receipts, events and the numbers handed out, shared by the request threads."""

import itertools
import threading
from dataclasses import dataclass, field
from datetime import datetime

from .comum import BRT


@dataclass
class Documento:
    protocolo: object                             # the protocol given when it arrived
    texto: bytes                                  # the signed document as it arrived
    # autorizado, denegado, cancelado, cancelado-fora-de-prazo (NF-e cancelled with 155), encerrado
    situacao: str = "autorizado"
    eventos: list = field(default_factory=list)   # proc texts of the events bound to it


@dataclass
class Lote:
    n_rec: str
    tp_amb: str
    c_uf: str
    dh_recbto: str
    protocolos: list
    consultas: int = 0


@dataclass(frozen=True)
class Faixa:
    """A range of numbers voided (inutilização): who, which series, first and last number."""
    familia: str
    c_uf: str
    cnpj: str
    modelo: str
    serie: int
    inicio: int
    fim: int
    n_prot: str


class Memoria:
    """Every look-up that decides an answer and the record it leads to happen under `trava`,
    so two requests at once get the answers the authority would give one after the other."""

    def __init__(self):
        self.trava = threading.RLock()
        self.documentos = {}    # access key -> Documento
        self.lotes = {}         # receipt number -> Lote
        self.eventos = {}       # (key, event type, sequence) -> protocol number
        self.inutilizacoes = [] # Faixa of every range voided in the run
        self._familias = {}
        self.sequencia = itertools.count(1)
        self.nsu = itertools.count(1)

    def proximo(self):
        """The next number of the run's sequence (every number handed out draws from it)."""
        with self.trava:
            return next(self.sequencia)

    def numero(self, c_uf, digito="1"):
        """A 15-digit number (protocol or receipt): kind, state, year and a sequence."""
        with self.trava:
            seq = next(self.sequencia)
        return "%s%s%s%010d" % (digito, (c_uf or "43")[:2], datetime.now(BRT).strftime("%y"), seq)

    def recibo(self, c_uf):
        with self.trava:
            seq = next(self.sequencia)
        return "%s%s%012d" % ((c_uf or "43")[:2], "1", seq)

    def de(self, familia):
        """A dictionary of the family's own, for what only it remembers (use under `trava`)."""
        with self.trava:
            return self._familias.setdefault(familia, {})
