"""Hostile answers: what a broken or malicious server sends in place of a good answer.  The service
does its work as on a good day (and remembers it); only the answer that leaves is changed, so a
client that holds on to what it sent finds the document authorised once the server behaves again.

Each kind is the value of the HTTP-level scenario key `hostil`."""

import re

from .sefaz import outra_chave

# The huge answer: more than any client should hold, sent in pieces so the simulator never holds
# it either.  A client that stops reading ends the exchange (the write fails and is ignored).
TAMANHO_ENORME = 50 * 1024 * 1024
PEDACO = 1024 * 1024

PAGINA = (b"<html><head><title>503 Service Unavailable</title></head><body><h1>Service "
          b"Unavailable</h1><p>O servico esta temporariamente indisponivel.</p></body></html>")

# What a comment or a CDATA section says is no answer: a reader that takes it for markup reads a
# rejection where the service authorised.
FALSA = "<cStat>999</cStat><xMotivo>Rejeicao: texto fora da marcacao</xMotivo>"

_PROTOCOLO = re.compile(r"<(protNFe|protCTe|protMDFe)[\s>].*?</\1>", re.S)
_CHAVE = re.compile(r"<(chNFe|chCTe|chMDFe)>([0-9]{6}[A-Z0-9]{12}[0-9]{26})</\1>")

TIPOS_HOSTIS = ("enorme", "truncado", "nao-xml", "utf16", "cstat-comentario", "cstat-cdata", "outra-chave")


def _antes_do_fim_do_body(corpo, inserido):
    """The text put just before the end of the SOAP Body, after the service's whole answer."""
    fim = corpo.rfind(":Body>")
    inicio = corpo.rfind("</", 0, fim) if fim >= 0 else -1
    if inicio < 0:
        return corpo + inserido
    return corpo[:inicio] + inserido + corpo[inicio:]


def _outra_chave(corpo):
    """Every protocol of the answer names another key (a protocol forged, or of another document);
    the rest stays, digest value included."""
    def troca(protocolo):
        return _CHAVE.sub(lambda m: "<%s>%s</%s>" % (m.group(1), outra_chave(m.group(2)), m.group(1)),
                          protocolo.group(0))
    return _PROTOCOLO.sub(troca, corpo)


def transformar(tipo_hostil, tipo, corpo):
    """(Content-Type, body) of the hostile answer; the body is bytes, or for `enorme` a pair
    (length, iterator of pieces)."""
    if tipo_hostil == "enorme":
        cabeca = corpo[:corpo.rfind(b"</")] if b"</" in corpo else corpo
        resto = TAMANHO_ENORME - len(cabeca)
        def pedacos():
            yield cabeca
            enviado = 0
            while enviado < resto:
                n = min(PEDACO, resto - enviado)
                yield b" " * n
                enviado += n
        return tipo, (len(cabeca) + resto, pedacos())
    if tipo_hostil == "truncado":
        # Cut inside the protocol when there is one, else in the middle.
        texto = corpo.decode("utf-8")
        achado = _PROTOCOLO.search(texto)
        corte = (achado.start() + (achado.end() - achado.start()) // 2) if achado else len(texto) // 2
        return tipo, texto[:corte].encode("utf-8")
    if tipo_hostil == "nao-xml":
        return "text/html; charset=utf-8", PAGINA
    if tipo_hostil == "utf16":
        # The XML declaration and the Content-Type still say UTF-8; the byte-order mark tells.
        return tipo, b"\xff\xfe" + corpo.decode("utf-8").encode("utf-16-le")
    texto = corpo.decode("utf-8")
    if tipo_hostil == "cstat-comentario":
        return tipo, _antes_do_fim_do_body(texto, "<!-- " + FALSA + " -->").encode("utf-8")
    if tipo_hostil == "cstat-cdata":
        return tipo, _antes_do_fim_do_body(texto, "<![CDATA[" + FALSA + "]]>").encode("utf-8")
    if tipo_hostil == "outra-chave":
        return tipo, _outra_chave(texto).encode("utf-8")
    raise ValueError("resposta hostil desconhecida: %s" % tipo_hostil)
