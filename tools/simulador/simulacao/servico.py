"""What the core hands a service and takes back from it.

A service is any object with:
  nome            name in the log, in the received-file names and in the scenario table
  acao            the SOAP action the client must send (routes with several services are told
                  apart by it)
  chaves_cenario  the keys of a scenario row it reads (the table is checked against them)
  ler(pedido)     envelope-level checks of a Pedido; raises FalhaSoap, else returns whatever
                  the service needs to answer
  responder(lido, contexto) -> Resposta
"""

from dataclasses import dataclass, field


@dataclass
class Pedido:
    servico: object
    cenario: str
    regra: dict        # the scenario table's row for this scenario and service, or None
    soap: str          # binding of the HTTP request: "1.1" or "1.2"
    acao: str
    bruto: bytes       # the HTTP body


@dataclass
class Resposta:
    corpo: bytes                                 # the answer envelope
    documento: bytes = None                      # saved as NNNN-<service>.xml
    campos: dict = field(default_factory=dict)   # more fields of the log line, in order


@dataclass
class Contexto:
    """The run's state and tools, shared by every service."""
    memoria: object
    verificador: object
    certificado: str       # the server's certificate and key, for documents made up here
    chave_privada: str
    autoridade: object = None   # Assinante of the protocols: the authority's own key


class Preenchimento(dict):
    """Fields of a scenario text; a value may be a function, called only when the text uses it
    (a protocol number is not drawn for a text that does not show one)."""

    def __getitem__(self, chave):
        valor = super().__getitem__(chave)
        return valor() if callable(valor) else valor


def preencher(texto, **campos):
    return texto.format_map(Preenchimento(campos))
