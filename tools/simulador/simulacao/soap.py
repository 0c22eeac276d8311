"""SOAP as every service here speaks it: the binding and action of the HTTP request, the
envelope, the answer and the Fault."""

import re
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

from .comum import SOAP11, SOAP12, XSD, XSI, FalhaSoap

ENVELOPES = {"1.1": SOAP11, "1.2": SOAP12}

PAGINA_404 = (b"<!DOCTYPE html><html><head><title>404 - Not Found</title></head>"
              b"<body><h1>404 - Arquivo ou diret\xc3\xb3rio n\xc3\xa3o encontrado.</h1></body></html>")


def ler_xml(dados):
    """Parses XML that came from a client; a DTD is refused before the parser sees it, so no
    entity of the client's is ever expanded."""
    if re.search(rb"<!DOCTYPE" if isinstance(dados, bytes) else r"<!DOCTYPE", dados, re.IGNORECASE):
        raise ValueError("DTD nao permitida na mensagem")
    return ET.fromstring(dados)


def ler_parametros_tipo(valor):
    """Content-Type -> (media type, {parameter: value}); quoted values keep their quotes so that
    the caller can insist on them."""
    partes = re.split(r';(?=(?:[^"]*"[^"]*")*[^"]*$)', valor)
    parametros = {}
    for parte in partes[1:]:
        nome, _, conteudo = parte.strip().partition("=")
        parametros[nome.strip().lower()] = conteudo.strip()
    return partes[0].strip().lower(), parametros


def entre_aspas(valor):
    if valor is None or len(valor) < 2 or valor[0] != '"' or valor[-1] != '"':
        return None
    return valor[1:-1]


def ler_acao(cabecalhos):
    """Finds the binding and the action: SOAP 1.1 (text/xml + SOAPAction) or SOAP 1.2
    (application/soap+xml; action=...)."""
    tipo, parametros = ler_parametros_tipo(cabecalhos.get("Content-Type", ""))
    charset = entre_aspas(parametros.get("charset")) or parametros.get("charset")
    if charset and charset.lower() != "utf-8":
        raise FalhaSoap("charset '%s' nao suportado; use utf-8" % charset)
    if tipo == "text/xml":
        bruto = cabecalhos.get("SOAPAction")
        if bruto is None:
            raise FalhaSoap("Cabecalho HTTP SOAPAction ausente (SOAP 1.1, Content-Type text/xml)")
        acao = entre_aspas(bruto.strip())
        if acao is None:
            raise FalhaSoap("SOAPAction deve vir entre aspas duplas: %s" % bruto)
        return "1.1", acao
    if tipo == "application/soap+xml":
        bruto = parametros.get("action")
        if bruto is None:
            raise FalhaSoap("Parametro action ausente no Content-Type (SOAP 1.2)")
        acao = entre_aspas(bruto)
        if acao is None:
            raise FalhaSoap("action do Content-Type deve vir entre aspas duplas: %s" % bruto)
        return "1.2", acao
    raise FalhaSoap("Content-Type '%s' nao suportado; use text/xml (SOAP 1.1) ou "
                    "application/soap+xml (SOAP 1.2)" % (tipo or "ausente"))


def acao_bruta(cabecalhos):
    """The action as sent, for the log of a request that was refused before it was read."""
    tipo = cabecalhos.get("Content-Type", "")
    achado = re.search(r'action\s*=\s*"([^"]*)"', tipo)
    if "soap+xml" in tipo and achado:
        return achado.group(1)
    return (cabecalhos.get("SOAPAction") or "-").strip('"') or "-"


def ler_envelope(bruto, versoes=("1.2",)):
    """Checks the envelope; returns (SOAP version, soap:Header or None, soap:Body).  `versoes`
    lists the envelope versions the service accepts, the one it publishes first."""
    try:
        envelope = ler_xml(bruto)
    except ValueError as erro:
        raise FalhaSoap(str(erro))
    except ET.ParseError as erro:
        raise FalhaSoap("XML mal formado: %s" % erro)
    versao = next((v for v, ns in ENVELOPES.items() if envelope.tag == "{%s}Envelope" % ns), None)
    if versao is not None and versao not in versoes:
        raise FalhaSoap("Envelope SOAP %s nao aceito; o servico usa o envelope SOAP %s (%s)"
                        % (versao, versoes[0], ENVELOPES[versoes[0]]))
    if versao is None:
        raise FalhaSoap("Elemento raiz deve ser Envelope no namespace %s, veio %s"
                        % (" ou ".join(ENVELOPES[v] for v in versoes), envelope.tag))
    ns = ENVELOPES[versao]
    cabecalho = envelope.find("{%s}Header" % ns)
    corpo = envelope.find("{%s}Body" % ns)
    esperado = (["{%s}Header" % ns] if cabecalho is not None else []) + ["{%s}Body" % ns]
    if corpo is None or [f.tag for f in envelope] != esperado:
        raise FalhaSoap("Envelope deve conter soap:Header opcional seguido de soap:Body")
    return versao, cabecalho, corpo


def elemento_unico(corpo):
    if len(corpo) != 1:
        raise FalhaSoap("soap:Body deve conter um unico elemento")
    return corpo[0]


def envelope(corpo, versao="1.2", cabecalho=""):
    """An answer envelope around body (and header) text already written."""
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<soap:Envelope xmlns:soap="%s" xmlns:xsi="%s" xmlns:xsd="%s">%s<soap:Body>%s</soap:Body>'
            '</soap:Envelope>' % (ENVELOPES[versao], XSI, XSD, cabecalho, corpo)).encode("utf-8")


def envelope_falha(motivo, codigo="soap:Sender"):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<soap:Envelope xmlns:soap="%s"><soap:Body><soap:Fault>'
            '<soap:Code><soap:Value>%s</soap:Value></soap:Code>'
            '<soap:Reason><soap:Text xml:lang="pt-BR">%s</soap:Text></soap:Reason>'
            '</soap:Fault></soap:Body></soap:Envelope>' % (SOAP12, codigo, escape(motivo))).encode("utf-8")


def tipo_resposta(soap):
    return "text/xml; charset=utf-8" if soap == "1.1" else "application/soap+xml; charset=utf-8"
