"""Values and small helpers shared by the core and the service families."""

import xml.parsers.expat as expat
from datetime import datetime, timedelta, timezone
from xml.sax.saxutils import escape

SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
DSIG = "http://www.w3.org/2000/09/xmldsig#"
XSI = "http://www.w3.org/2001/XMLSchema-instance"
XSD = "http://www.w3.org/2001/XMLSchema"
# The namespace web-service toolkits give a service that declares none (NDD Cargo, the Tecnos
# provider and part of another NFS-e provider keep it).
TEMPURI = "http://tempuri.org/"

BRT = timezone(timedelta(hours=-3))  # answers carry the Brasilia offset, as the authorities do

TEMPO_CONEXAO = 30        # seconds a connection may stay idle or take for one read/write
TEMPO_HANDSHAKE = 10      # seconds for the TLS handshake
TEMPO_XMLSEC = 20         # seconds for one xmlsec1 run
LENTIDAO_MAXIMA = 600     # upper bound of --lentidao, so a client is never held forever
CORPO_MAXIMO = 20 * 1024 * 1024


class FalhaSoap(Exception):
    """The request does not reach the service: HTTP 500 with a SOAP Fault."""

    def __init__(self, motivo, codigo="soap:Sender"):
        super().__init__(motivo)
        self.motivo = motivo
        self.codigo = codigo


def agora():
    return datetime.now(BRT).strftime("%Y-%m-%dT%H:%M:%S-03:00")


def el(nome, valor):
    """<nome>valor</nome> with the value escaped; nothing when the value is None."""
    if valor is None:
        return ""
    return "<%s>%s</%s>" % (nome, escape(str(valor)), nome)


def els(*pares):
    return "".join(el(nome, valor) for nome, valor in pares)


def local(tag):
    return tag.rpartition("}")[2]


def ns_de(tag):
    return tag[1:].partition("}")[0] if tag.startswith("{") else ""


def localizar_elementos(dados, nomes):
    """Byte ranges (name, start, end) of the elements whose local name is in `nomes`, as they
    were sent.  Signatures are checked on these exact bytes: re-serialising the XML would change
    the canonical form that the digest covers."""
    parser = expat.ParserCreate()
    abertos, achados = [], []

    def inicio(nome, _atributos):
        abertos.append((nome.rpartition(":")[2], parser.CurrentByteIndex))

    def fim(_nome):
        nome, ini = abertos.pop()
        if nome not in nomes:
            return
        pos = parser.CurrentByteIndex
        if dados[pos:pos + 2] == b"</":
            fim_elemento = dados.index(b">", pos) + 1
        else:  # empty-element tag: expat reports the position just after it
            fim_elemento = pos
        achados.append((nome, ini, fim_elemento))

    parser.StartElementHandler = inicio
    parser.EndElementHandler = fim
    parser.Parse(dados, True)
    return sorted(achados, key=lambda achado: achado[1])


def recortar(dados, nome):
    """The bytes of every element called `nome`, outermost first."""
    return [dados[ini:fim] for _n, ini, fim in localizar_elementos(dados, {nome})]
