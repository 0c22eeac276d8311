#!/usr/bin/python3
"""Local stand-in for the tax authorities' web services (SEFAZ, SVRS, national environment).

Serves the NF-e/NFC-e, CT-e, MDF-e, distribution, national event and registry paths over HTTPS
with a client certificate, checks the SOAP request the way the authorities do, verifies XML
signatures independently with the xmlsec1 command and answers with realistic messages.
Standard library only; run it with /usr/bin/python3.  See README.md next to this file.
"""

import argparse
import base64
import binascii
import functools
import gzip
import itertools
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import xml.etree.ElementTree as ET
import xml.parsers.expat as expat
import zlib
from dataclasses import dataclass, field
from datetime import datetime, timedelta, timezone
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit
from xml.sax.saxutils import escape

# ---------------------------------------------------------------------------------------------
# Namespaces and fixed values
# ---------------------------------------------------------------------------------------------

SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
DSIG = "http://www.w3.org/2000/09/xmldsig#"
NS = {
    "nfe": "http://www.portalfiscal.inf.br/nfe",
    "cte": "http://www.portalfiscal.inf.br/cte",
    "mdfe": "http://www.portalfiscal.inf.br/mdfe",
}
WSDL = {familia: uri + "/wsdl/" for familia, uri in NS.items()}

BRT = timezone(timedelta(hours=-3))  # answers carry the Brasilia offset, as the authorities do
# Access key: state, year and month, issuer's CNPJ (alphanumeric from July 2026: twelve letters or
# digits and two check digits), model, series, number, emission type, code and check digit.
CHAVE = r"[0-9]{6}[A-Z0-9]{12}[0-9]{26}"
CENARIOS = ("normal", "rejeitar", "denegar", "processando", "erro500", "404", "fechar", "lento")

TEMPO_CONEXAO = 30        # seconds a connection may stay idle or take for one read/write
TEMPO_HANDSHAKE = 10      # seconds for the TLS handshake
TEMPO_XMLSEC = 20         # seconds for one xmlsec1 run
LENTIDAO_MAXIMA = 600     # upper bound of --lentidao, so a client is never held forever
CORPO_MAXIMO = 20 * 1024 * 1024

UF_CODIGO = {
    "RO": "11", "AC": "12", "AM": "13", "RR": "14", "PA": "15", "AP": "16", "TO": "17",
    "MA": "21", "PI": "22", "CE": "23", "RN": "24", "PB": "25", "PE": "26", "AL": "27",
    "SE": "28", "BA": "29", "MG": "31", "ES": "32", "RJ": "33", "SP": "35", "PR": "41",
    "SC": "42", "RS": "43", "MS": "50", "MT": "51", "GO": "52", "DF": "53", "SU": "90",
}
CODIGO_UF = {codigo: uf for uf, codigo in UF_CODIGO.items()}

# Per family: name in texts, signed document, its info group, key element, answer versions.
FAMILIAS = {
    "nfe": dict(sigla="NF-e", doc="NFe", inf="infNFe", chave="chNFe", versao="4.00",
                prot="protNFe", ver_aplic="SIM-NFe-4.00", artigo="da"),
    "cte": dict(sigla="CT-e", doc="CTe", inf="infCte", chave="chCTe", versao="4.00",
                prot="protCTe", ver_aplic="SIM-CTe-4.00", artigo="do"),
    "mdfe": dict(sigla="MDF-e", doc="MDFe", inf="infMDFe", chave="chMDFe", versao="3.00",
                 prot="protMDFe", ver_aplic="SIM-MDFe-3.00", artigo="do"),
}


# ---------------------------------------------------------------------------------------------
# Service table: URL paths -> service, with what the request must look like
# ---------------------------------------------------------------------------------------------

@dataclass(frozen=True)
class Servico:
    tratador: str          # key of the answer builder
    familia: str           # "nfe", "cte" or "mdfe": namespaces and element names
    wsdl: str              # WSDL namespace of the header, body and result elements
    acao: str              # SOAP action the client must send
    versao_dados: str      # versaoDados of the header, when a header is carried
    cabecalho: str         # "obrigatorio", "proibido" or "opcional"
    conteudo: str          # "xml" (a message element) or "base64" (gzip of the document)
    raizes: tuple          # accepted root elements of the message
    resultado: str         # result element around the answer
    mensagem: str = ""     # body element; default <familia>DadosMsg
    envoltorio: str = ""   # outer body element of the distribution service

    @property
    def elemento_mensagem(self):
        return self.mensagem or self.familia + "DadosMsg"

    @property
    def elemento_cabecalho(self):
        return self.familia + "CabecMsg"


def _servico(tratador, familia, servico_wsdl, operacao, **extra):
    """A service whose action is the WSDL namespace, or the namespace + "/" + operation."""
    wsdl = WSDL[familia] + servico_wsdl
    acao = wsdl + "/" + operacao if operacao else wsdl
    return Servico(tratador=tratador, familia=familia, wsdl=wsdl, acao=acao, **extra)


def _nfe(tratador, servico_wsdl, operacao, raiz, cabecalho="proibido", versao="4.00", **extra):
    extra.setdefault("resultado", "nfeResultMsg")
    return _servico(tratador, "nfe", servico_wsdl, operacao, versao_dados=versao,
                    cabecalho=cabecalho, conteudo="xml", raizes=(raiz,), **extra)


def _cte(tratador, servico_wsdl, raizes, conteudo="xml", operacao=""):
    return _servico(tratador, "cte", servico_wsdl, operacao, versao_dados="4.00",
                    cabecalho="proibido", conteudo=conteudo, raizes=raizes,
                    resultado="cteResultMsg")


def _mdfe(tratador, servico_wsdl, raizes, resultado, conteudo="xml"):
    # The MDF-e services answer in an element named after the operation, not a common one.
    return _servico(tratador, "mdfe", servico_wsdl, "", versao_dados="3.00",
                    cabecalho="obrigatorio", conteudo=conteudo, raizes=raizes,
                    resultado=resultado)


NFE_STATUS = _nfe("nfe_status", "NFeStatusServico4", "nfeStatusServicoNF", "consStatServ")
NFE_AUTORIZACAO = _nfe("nfe_autorizacao", "NFeAutorizacao4", "nfeAutorizacaoLote", "enviNFe")
NFE_RET_AUTORIZACAO = _nfe("nfe_ret_autorizacao", "NFeRetAutorizacao4",
                           "nfeRetAutorizacaoLote", "consReciNFe")
NFE_INUTILIZACAO = _nfe("nfe_inutilizacao", "NFeInutilizacao4", "nfeInutilizacaoNF", "inutNFe")
NFE_CONSULTA = _nfe("nfe_consulta", "NFeConsultaProtocolo4", "nfeConsultaNF", "consSitNFe")
# The state event services take a header or none: the event layout is 1.00 inside a 4.00
# service, and the services ignore a header they do not use.
NFE_EVENTO = _nfe("nfe_evento", "NFeRecepcaoEvento4", "nfeRecepcaoEvento", "envEvento",
                  cabecalho="opcional", versao="1.00")
NFE_EVENTO_NACIONAL = _nfe("nfe_evento", "NFeRecepcaoEvento4", "nfeRecepcaoEventoNF",
                           "envEvento", cabecalho="obrigatorio", versao="1.00")
NFE_DISTRIBUICAO = _nfe("nfe_distribuicao", "NFeDistribuicaoDFe", "nfeDistDFeInteresse",
                        "distDFeInt", versao="1.01", mensagem="nfeDadosMsg",
                        envoltorio="nfeDistDFeInteresse", resultado="nfeDistDFeInteresseResult")
NFE_CADASTRO = _nfe("nfe_cadastro", "CadConsultaCadastro4", "consultaCadastro", "ConsCad",
                    cabecalho="obrigatorio", versao="2.00")


def _caminhos_nfe():
    """NF-e/NFC-e paths of the RS/SVRS, PR, MG and MT families, in the order
    Status, Recepcao, RetRecepcao, Inutilizar, Consultar, Evento."""
    servicos = (NFE_STATUS, NFE_AUTORIZACAO, NFE_RET_AUTORIZACAO, NFE_INUTILIZACAO,
                NFE_CONSULTA, NFE_EVENTO)
    familias = (
        ("/ws/NfeStatusServico/NfeStatusServico4.asmx", "/ws/NfeAutorizacao/NFeAutorizacao4.asmx",
         "/ws/NfeRetAutorizacao/NFeRetAutorizacao4.asmx", "/ws/nfeinutilizacao/nfeinutilizacao4.asmx",
         "/ws/NfeConsulta/NfeConsulta4.asmx", "/ws/recepcaoevento/recepcaoevento4.asmx"),
        ("/nfe/NFeStatusServico4", "/nfe/NFeAutorizacao4", "/nfe/NFeRetAutorizacao4",
         "/nfe/NFeInutilizacao4", "/nfe/NFeConsultaProtocolo4", "/nfe/NFeRecepcaoEvento4"),
        ("/nfe2/services/NFeStatusServico4", "/nfe2/services/NFeAutorizacao4",
         "/nfe2/services/NFeRetAutorizacao4", "/nfe2/services/NFeInutilizacao4",
         "/nfe2/services/NFeConsultaProtocolo4", "/nfe2/services/NFeRecepcaoEvento4"),
        ("/nfews/v2/services/NfeStatusServico4", "/nfews/v2/services/NfeAutorizacao4",
         "/nfews/v2/services/NfeRetAutorizacao4", "/nfews/v2/services/NfeInutilizacao4",
         "/nfews/v2/services/NfeConsulta4", "/nfews/v2/services/RecepcaoEvento4"),
    )
    for caminhos in familias:
        yield from zip(caminhos, servicos)


CAMINHOS_CADASTRO = (
    "/ws/cadconsultacadastro/cadconsultacadastro4.asmx",      # SVRS and SEFAZ-RS
    "/nfe4/services/CadConsultaCadastro4",                    # CE
    "/nfe-service/services/CadConsultaCadastro4",             # PE
    "/webservices/CadConsultaCadastro4/CadConsultaCadastro4.asmx",  # BA
    "/nfe2/services/CadConsultaCadastro4",                    # MG
    "/ws/cadconsultacadastro4.asmx",                          # SP
    "/nfe/CadConsultaCadastro4",                              # PR
    "/ws/CadConsultaCadastro4",                               # MS
    "/nfews/v2/services/CadConsultaCadastro4",                # MT
    "/nfe/services/CadConsultaCadastro4",                     # GO
)


def _caminhos_cte():
    svrs = (
        ("/ws/CTeStatusServicoV4/CTeStatusServicoV4.asmx",
         _cte("cte_status", "CTeStatusServicoV4", ("consStatServCTe",))),
        ("/ws/CTeRecepcaoSincV4/CTeRecepcaoSincV4.asmx",
         _cte("cte_autorizacao", "CTeRecepcaoSincV4", ("CTe",), conteudo="base64")),
        ("/ws/CTeRecepcaoSimpV4/CTeRecepcaoSimpV4.asmx",
         _cte("cte_simplificado", "CTeRecepcaoSimpV4", ("CTeSimp",), conteudo="base64",
              operacao="cteRecepcaoSimp")),
        ("/ws/cteinutilizacao/cteinutilizacao.asmx",
         _cte("cte_inutilizacao", "CteInutilizacao", ("inutCTe",))),
        ("/ws/CTeConsultaV4/CTeConsultaV4.asmx",
         _cte("cte_consulta", "CTeConsultaV4", ("consSitCTe",))),
        ("/ws/CTeRecepcaoEventoV4/CTeRecepcaoEventoV4.asmx",
         _cte("cte_evento", "CTeRecepcaoEventoV4", ("eventoCTe",))),
    )
    yield from svrs
    # MG and MT keep their older service names; the messages are the 4.00 ones.
    antigos = (
        ("CteStatusServico", _cte("cte_status", "CteStatusServico", ("consStatServCTe",))),
        ("CteRecepcao", _cte("cte_autorizacao", "CteRecepcao", ("CTe",), conteudo="base64")),
        ("CteRetRecepcao", _cte("cte_ret_autorizacao", "CteRetRecepcao", ("consReciCTe",))),
        ("CteInutilizacao", _cte("cte_inutilizacao", "CteInutilizacao", ("inutCTe",))),
        ("CteConsulta", _cte("cte_consulta", "CteConsulta", ("consSitCTe",))),
        ("CteRecepcaoEvento", _cte("cte_evento", "CteRecepcaoEvento", ("eventoCTe",))),
    )
    for nome, servico in antigos:
        mg = "/cte/services/" + ("RecepcaoEvento" if nome == "CteRecepcaoEvento" else nome) + ".asmx"
        mt = ("/ctews2/services/" if nome == "CteRecepcaoEvento" else "/ctews/services/") + nome
        yield mg, servico
        yield mt, servico


def _caminhos_mdfe():
    yield ("/ws/mdferecepcaosinc/MDFeRecepcaoSinc.asmx",
           _mdfe("mdfe_autorizacao", "MDFeRecepcaoSinc", ("MDFe",), "mdfeRecepcaoResult",
                 conteudo="base64"))
    yield ("/ws/mdfeconsulta/MDFeConsulta.asmx",
           _mdfe("mdfe_consulta", "MDFeConsulta", ("consSitMDFe",), "mdfeConsultaMDFResult"))
    yield ("/ws/mdferecepcaoevento/MDFeRecepcaoEvento.asmx",
           _mdfe("mdfe_evento", "MDFeRecepcaoEvento", ("eventoMDFe",), "mdfeRecepcaoEventoResult"))
    yield ("/ws/mdfestatusservico/MDFeStatusServico.asmx",
           _mdfe("mdfe_status", "MDFeStatusServico", ("consStatServMDFe",),
                 "mdfeStatusServicoMDFResult"))
    yield ("/ws/mdfeconsnaoenc/MDFeConsNaoEnc.asmx",
           _mdfe("mdfe_nao_encerrados", "MDFeConsNaoEnc", ("consMDFeNaoEnc",),
                 "mdfeConsNaoEncResult"))


def montar_rotas():
    rotas = {}
    pares = itertools.chain(
        _caminhos_nfe(),
        [("/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx", NFE_EVENTO_NACIONAL),
         ("/NFeDistribuicaoDFe/NFeDistribuicaoDFe.asmx", NFE_DISTRIBUICAO)],
        ((caminho, NFE_CADASTRO) for caminho in CAMINHOS_CADASTRO),
        _caminhos_cte(),
        _caminhos_mdfe(),
    )
    for caminho, servico in pares:
        chave = caminho.lower()
        assert rotas.get(chave, servico) == servico, "caminho repetido: " + caminho
        rotas[chave] = servico
    return rotas


ROTAS = montar_rotas()

# Root elements of the messages: namespace family, where versao is, the version, where tpAmb is.
RAIZES = {
    "consStatServ": ("nfe", ".", "4.00", "tpAmb"),
    "enviNFe": ("nfe", ".", "4.00", None),
    "consReciNFe": ("nfe", ".", "4.00", "tpAmb"),
    "inutNFe": ("nfe", ".", "4.00", "infInut/tpAmb"),
    "consSitNFe": ("nfe", ".", "4.00", "tpAmb"),
    "envEvento": ("nfe", ".", "1.00", None),
    "distDFeInt": ("nfe", ".", "1.01", "tpAmb"),
    "ConsCad": ("nfe", ".", "2.00", None),
    "consStatServCTe": ("cte", ".", "4.00", "tpAmb"),
    "CTe": ("cte", "infCte", "4.00", "infCte/ide/tpAmb"),
    "CTeSimp": ("cte", "infCte", "4.00", "infCte/ide/tpAmb"),
    "consReciCTe": ("cte", ".", "4.00", "tpAmb"),
    "inutCTe": ("cte", ".", "4.00", "infInut/tpAmb"),
    "consSitCTe": ("cte", ".", "4.00", "tpAmb"),
    "eventoCTe": ("cte", ".", "4.00", "infEvento/tpAmb"),
    "consStatServMDFe": ("mdfe", ".", "3.00", "tpAmb"),
    "MDFe": ("mdfe", "infMDFe", "3.00", "infMDFe/ide/tpAmb"),
    "consSitMDFe": ("mdfe", ".", "3.00", "tpAmb"),
    "consMDFeNaoEnc": ("mdfe", ".", "3.00", "tpAmb"),
    "eventoMDFe": ("mdfe", ".", "3.00", "infEvento/tpAmb"),
}


# ---------------------------------------------------------------------------------------------
# Small helpers
# ---------------------------------------------------------------------------------------------

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


def texto(elemento, caminho, familia):
    """Text of a child path written with plain names, in the family's namespace."""
    if elemento is None:
        return None
    if caminho == ".":
        return elemento.text
    passos = "/".join("{%s}%s" % (NS[familia], passo) for passo in caminho.split("/"))
    return elemento.findtext(passos)


def filho(elemento, caminho, familia):
    passos = "/".join("{%s}%s" % (NS[familia], passo) for passo in caminho.split("/"))
    return elemento.find(passos)


def digito_chave(chave43):
    """Check digit (modulo 11, weights 2..9 from the right) of an access key; a letter counts
    as its character code minus 48, as for the alphanumeric CNPJ."""
    soma = sum((ord(c) - 48) * (2 + i % 8) for i, c in enumerate(reversed(chave43)))
    resto = soma % 11
    return "0" if resto < 2 else str(11 - resto)


def outra_chave(chave):
    """A different, valid key of the same issuer and number, as the authority reports it when
    the number was already used with another key."""
    if not re.fullmatch(CHAVE, chave or ""):
        return chave
    codigo = "%08d" % ((int(chave[35:43]) + 1) % 100000000)
    base = chave[:35] + codigo
    return base + digito_chave(base)


class Rejeicao(Exception):
    """The request is answered with the service's own message carrying this status."""

    def __init__(self, cstat, motivo):
        super().__init__("%s %s" % (cstat, motivo))
        self.cstat = str(cstat)
        self.motivo = motivo


class FalhaSoap(Exception):
    """The request does not reach the service: HTTP 500 with a SOAP Fault."""

    def __init__(self, motivo, codigo="soap:Sender"):
        super().__init__(motivo)
        self.motivo = motivo
        self.codigo = codigo


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


# ---------------------------------------------------------------------------------------------
# Signature check with the xmlsec1 command
# ---------------------------------------------------------------------------------------------

class Verificador:
    """Checks enveloped signatures with xmlsec1, independently of the client's signing code."""

    def __init__(self, xmlsec, ca_clientes, pasta):
        self.xmlsec = xmlsec
        self.ca = ca_clientes
        self.pasta = pasta

    def _rodar(self, argumentos, dados):
        descritor, arquivo = tempfile.mkstemp(suffix=".xml", dir=self.pasta)
        try:
            with os.fdopen(descritor, "wb") as saida:
                saida.write(dados)
            try:
                feito = subprocess.run([self.xmlsec, "--verify"] + argumentos + [arquivo],
                                       capture_output=True, timeout=TEMPO_XMLSEC)
            except subprocess.TimeoutExpired:
                return False
            return feito.returncode == 0
        finally:
            os.unlink(arquivo)

    def verificar(self, dados, familia, nome_inf):
        """Returns (result, DigestValue): result None when the signature holds, else the
        rejection (cStat, motivo) the authority gives."""
        try:
            raiz = ET.fromstring(dados)
        except ET.ParseError:
            return ("243", "Rejeicao: XML Mal Formado"), None
        assinatura = raiz.find("{%s}Signature" % DSIG)
        inf = raiz.find("{%s}%s" % (NS[familia], nome_inf))
        if assinatura is None or inf is None:
            return ("225" if familia == "nfe" else "215",
                    "Rejeicao: Falha no Schema XML (assinatura ausente)"), None
        digest = assinatura.findtext(".//{%s}DigestValue" % DSIG)
        referencia = assinatura.find(".//{%s}Reference" % DSIG)
        if referencia is None or referencia.get("URI") != "#" + (inf.get("Id") or ""):
            return ("298", "Rejeicao: Assinatura difere do padrao do Sistema"), digest
        if self._rodar(["--id-attr:Id", nome_inf, "--trusted-pem", self.ca], dados):
            return None, digest
        # Same signature without trusting the chain: tells a bad chain from a bad digest.
        if self._rodar(["--id-attr:Id", nome_inf, "--insecure"], dados):
            return ("293", "Rejeicao: Certificado Assinatura - erro Cadeia de Certificacao"), digest
        return ("297", "Rejeicao: Assinatura difere do calculado"), digest

    def assinar(self, modelo, chave_privada, certificado, nome_inf):
        """Signs a template with the server's key (documents the simulator makes up itself)."""
        descritor, entrada = tempfile.mkstemp(suffix=".xml", dir=self.pasta)
        saida = entrada + ".assinado"
        try:
            with os.fdopen(descritor, "wb") as arquivo:
                arquivo.write(modelo)
            feito = subprocess.run(
                [self.xmlsec, "--sign", "--privkey-pem", chave_privada + "," + certificado,
                 "--id-attr:Id", nome_inf, "--output", saida, entrada],
                capture_output=True, timeout=TEMPO_XMLSEC)
            if feito.returncode != 0:
                return modelo
            with open(saida, "rb") as arquivo:
                assinado = arquivo.read()
            return re.sub(rb"^<\?xml[^>]*\?>\s*", b"", assinado)
        except subprocess.TimeoutExpired:
            return modelo
        finally:
            for arquivo in (entrada, saida):
                if os.path.exists(arquivo):
                    os.unlink(arquivo)


# ---------------------------------------------------------------------------------------------
# What the authority remembers during one run
# ---------------------------------------------------------------------------------------------

@dataclass
class Protocolo:
    familia: str
    chave: str
    tp_amb: str
    cstat: str
    motivo: str
    dh_recbto: str
    n_prot: str = None
    dig_val: str = None

    def xml(self):
        f = FAMILIAS[self.familia]
        return ('<%s versao="%s"><infProt>' % (f["prot"], f["versao"]) +
                els(("tpAmb", self.tp_amb), ("verAplic", f["ver_aplic"]), (f["chave"], self.chave),
                    ("dhRecbto", self.dh_recbto), ("nProt", self.n_prot),
                    ("digVal", self.dig_val), ("cStat", self.cstat), ("xMotivo", self.motivo)) +
                "</infProt></%s>" % f["prot"])


@dataclass
class Documento:
    protocolo: Protocolo
    texto: bytes                                  # the signed document as it arrived
    situacao: str = "autorizado"                  # autorizado, denegado, cancelado, encerrado
    eventos: list = field(default_factory=list)   # proc texts of the events bound to it


@dataclass
class Lote:
    n_rec: str
    tp_amb: str
    c_uf: str
    dh_recbto: str
    protocolos: list
    consultas: int = 0


class Base:
    """Documents, receipts and events of this run, shared by the request threads."""

    def __init__(self):
        self.trava = threading.RLock()
        self.documentos = {}
        self.lotes = {}
        self.eventos = {}
        self.sequencia = itertools.count(1)
        self.nsu = itertools.count(1)

    def numero(self, c_uf, digito="1"):
        """A 15-digit number (protocol or receipt): kind, state, year and a sequence."""
        with self.trava:
            seq = next(self.sequencia)
        return "%s%s%s%010d" % (digito, (c_uf or "43")[:2], datetime.now(BRT).strftime("%y"), seq)

    def recibo(self, c_uf):
        with self.trava:
            seq = next(self.sequencia)
        return "%s%s%012d" % ((c_uf or "43")[:2], "1", seq)


# ---------------------------------------------------------------------------------------------
# The request as the services see it
# ---------------------------------------------------------------------------------------------

@dataclass
class Pedido:
    servico: Servico
    cenario: str
    soap: str                       # "1.1" or "1.2"
    acao: str
    bruto: bytes                    # the HTTP body
    cabecalho_uf: str = None        # cUF of the SOAP header, when there is one
    cabecalho_versao: str = None
    mensagem: ET.Element = None     # the message element (nfeDadosMsg...)
    documento: bytes = b""          # the message content: XML as sent, or the gunzipped document
    raiz: ET.Element = None         # the parsed message content
    tp_amb: str = "2"
    gzip_cabecalho: str = None      # first ten bytes of the gzip member, for the log

    @property
    def familia(self):
        return self.servico.familia


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


def ler_envelope(servico, bruto):
    """Checks the SOAP 1.2 envelope; returns (header cUF, header versaoDados, message element)."""
    if re.search(rb"<!DOCTYPE", bruto, re.IGNORECASE):
        raise FalhaSoap("DTD nao permitida na mensagem")
    try:
        envelope = ET.fromstring(bruto)
    except ET.ParseError as erro:
        raise FalhaSoap("XML mal formado: %s" % erro)
    if envelope.tag == "{%s}Envelope" % SOAP11:
        raise FalhaSoap("Envelope SOAP 1.1 nao aceito; o servico usa o envelope SOAP 1.2 (%s)" % SOAP12)
    if envelope.tag != "{%s}Envelope" % SOAP12:
        raise FalhaSoap("Elemento raiz deve ser Envelope no namespace %s, veio %s" % (SOAP12, envelope.tag))
    filhos = list(envelope)
    nomes = [f.tag for f in filhos]
    cabecalho = envelope.find("{%s}Header" % SOAP12)
    corpo = envelope.find("{%s}Body" % SOAP12)
    esperado = (["{%s}Header" % SOAP12] if cabecalho is not None else []) + ["{%s}Body" % SOAP12]
    if corpo is None or nomes != esperado:
        raise FalhaSoap("Envelope deve conter soap:Header opcional seguido de soap:Body")
    uf, versao = ler_cabecalho(servico, cabecalho)
    return uf, versao, ler_corpo_soap(servico, corpo)


def ler_cabecalho(servico, cabecalho):
    nome = "{%s}%s" % (servico.wsdl, servico.elemento_cabecalho)
    cabec = cabecalho.find(nome) if cabecalho is not None else None
    if cabecalho is not None and len(cabecalho) and cabec is None:
        raise FalhaSoap("soap:Header deve conter %s no namespace %s"
                        % (servico.elemento_cabecalho, servico.wsdl))
    if cabec is None:
        if servico.cabecalho == "obrigatorio":
            raise FalhaSoap("soap:Header com %s (cUF e versaoDados) obrigatorio para este servico "
                            "(versao %s)" % (servico.elemento_cabecalho, servico.versao_dados))
        return None, None
    if servico.cabecalho == "proibido":
        raise FalhaSoap("soap:Header com %s nao esperado: servico versao %s nao usa cabecalho"
                        % (servico.elemento_cabecalho, servico.versao_dados))
    uf = cabec.findtext("{%s}cUF" % servico.wsdl)
    versao = cabec.findtext("{%s}versaoDados" % servico.wsdl)
    if not uf or not re.fullmatch(r"\d{2}", uf):
        raise FalhaSoap("%s/cUF ausente ou invalido: %r" % (servico.elemento_cabecalho, uf))
    if versao != servico.versao_dados:
        raise FalhaSoap("%s/versaoDados %r; este servico espera %s"
                        % (servico.elemento_cabecalho, versao, servico.versao_dados))
    return uf, versao


def ler_corpo_soap(servico, corpo):
    if len(corpo) != 1:
        raise FalhaSoap("soap:Body deve conter um unico elemento")
    mensagem = corpo[0]
    if servico.envoltorio:
        esperado = "{%s}%s" % (servico.wsdl, servico.envoltorio)
        if mensagem.tag != esperado or len(mensagem) != 1:
            raise FalhaSoap("soap:Body deve conter %s (namespace %s) com %s"
                            % (servico.envoltorio, servico.wsdl, servico.elemento_mensagem))
        mensagem = mensagem[0]
    esperado = "{%s}%s" % (servico.wsdl, servico.elemento_mensagem)
    if mensagem.tag != esperado:
        raise FalhaSoap("Elemento da mensagem deve ser %s no namespace %s, veio %s"
                        % (servico.elemento_mensagem, servico.wsdl, mensagem.tag))
    return mensagem


def interpretar(servico, metodo, cabecalhos, bruto, cenario):
    """Envelope-level checks; anything wrong here is answered with a SOAP Fault."""
    if metodo != "POST":
        raise FalhaSoap("Metodo HTTP %s nao suportado; use POST" % metodo)
    soap, acao = ler_acao(cabecalhos)
    if acao != servico.acao:
        raise FalhaSoap("Acao SOAP '%s' nao corresponde ao servico; esperada '%s'"
                        % (acao, servico.acao))
    uf, versao, mensagem = ler_envelope(servico, bruto)
    return Pedido(servico=servico, cenario=cenario, soap=soap, acao=acao, bruto=bruto,
                  cabecalho_uf=uf, cabecalho_versao=versao, mensagem=mensagem)


# ---------------------------------------------------------------------------------------------
# Message content: decoding and the checks every service shares
# ---------------------------------------------------------------------------------------------

def rejeicao_schema(servico):
    if servico.tratador == "nfe_autorizacao":
        return Rejeicao(225, "Rejeicao: Falha no Schema XML do lote de NFe")
    return Rejeicao(215, "Rejeicao: Falha no schema XML")


def desempacotar(pedido):
    """Base64 text of one gzip member -> document bytes (CT-e and MDF-e authorization)."""
    mensagem = pedido.mensagem
    if len(mensagem):
        raise Rejeicao(244, "Rejeicao: Falha na descompactacao da area de dados "
                            "(esperado texto Base64 do documento compactado)")
    texto_b64 = re.sub(r"\s+", "", mensagem.text or "")
    try:
        compactado = base64.b64decode(texto_b64, validate=True)
    except (binascii.Error, ValueError):
        raise Rejeicao(244, "Rejeicao: Falha na descompactacao da area de dados (Base64 invalido)")
    pedido.gzip_cabecalho = compactado[:10].hex().upper()
    descompactador = zlib.decompressobj(16 + zlib.MAX_WBITS)
    try:
        dados = descompactador.decompress(compactado, CORPO_MAXIMO)
    except zlib.error:
        raise Rejeicao(244, "Rejeicao: Falha na descompactacao da area de dados (gzip invalido)")
    if not descompactador.eof or descompactador.unconsumed_tail:
        raise Rejeicao(244, "Rejeicao: Falha na descompactacao da area de dados (gzip incompleto)")
    return dados


def preparar_conteudo(pedido):
    """Fills pedido.documento and pedido.raiz; wrong content is a rejection of the service."""
    servico = pedido.servico
    if servico.conteudo == "base64":
        pedido.documento = desempacotar(pedido)
        try:
            pedido.documento.decode("utf-8")
        except UnicodeDecodeError:
            raise Rejeicao(243, "Rejeicao: XML Mal Formado (documento nao esta em UTF-8)")
        try:
            pedido.raiz = ET.fromstring(pedido.documento)
        except ET.ParseError as erro:
            raise Rejeicao(243, "Rejeicao: XML Mal Formado (%s)" % erro)
    else:
        if len(pedido.mensagem) != 1 or (pedido.mensagem.text or "").strip():
            raise rejeicao_schema(servico)
        pedido.raiz = pedido.mensagem[0]
        nome = local(pedido.raiz.tag)
        pedido.documento = (recortar(pedido.bruto, nome) or [b""])[0]
    verificar_raiz(pedido)


def verificar_raiz(pedido):
    servico, raiz = pedido.servico, pedido.raiz
    nome = local(raiz.tag)
    if nome not in servico.raizes or ns_de(raiz.tag) != NS[servico.familia]:
        raise rejeicao_schema(servico)
    familia, onde_versao, versao, onde_amb = RAIZES[nome]
    alvo = raiz if onde_versao == "." else filho(raiz, onde_versao, familia)
    if alvo is None:
        raise rejeicao_schema(servico)
    if alvo.get("versao") != versao:
        raise Rejeicao(239, "Rejeicao: Cabecalho - Versao do arquivo XML nao suportada")
    if onde_amb:
        tp_amb = texto(raiz, onde_amb, familia)
        if tp_amb not in ("1", "2"):
            raise rejeicao_schema(servico)
        pedido.tp_amb = tp_amb


def uf_do_pedido(pedido, *candidatos):
    """cUF of the answer: the first valid of the given values, the header's, else RS."""
    for valor in candidatos + (pedido.cabecalho_uf,):
        if valor and re.fullmatch(r"\d{2}", valor):
            return valor
    return "43"


# ---------------------------------------------------------------------------------------------
# Answer builders, one per service.  Each takes the request and, for a rejection found before
# it ran, the (cStat, motivo) to answer with; each returns the answer element as text.
# ---------------------------------------------------------------------------------------------

class Autoridade:
    """Answers of the authorities, with the state of this run."""

    def __init__(self, verificador, certificado, chave_privada):
        self.base = Base()
        self.verificador = verificador
        self.certificado = certificado
        self.chave_privada = chave_privada
        self.construtores = {
            "nfe_status": self.nfe_status,
            "nfe_autorizacao": self.nfe_autorizacao,
            "nfe_ret_autorizacao": self.nfe_ret_autorizacao,
            "nfe_inutilizacao": self.inutilizacao,
            "nfe_consulta": self.consulta,
            "nfe_evento": self.nfe_evento,
            "nfe_distribuicao": self.nfe_distribuicao,
            "nfe_cadastro": self.nfe_cadastro,
            "cte_status": self.status_cte_mdfe,
            "cte_autorizacao": self.autorizacao_sincrona,
            "cte_simplificado": self.autorizacao_sincrona,
            "cte_ret_autorizacao": self.cte_ret_autorizacao,
            "cte_inutilizacao": self.inutilizacao,
            "cte_consulta": self.consulta,
            "cte_evento": self.evento_cte_mdfe,
            "mdfe_status": self.status_cte_mdfe,
            "mdfe_autorizacao": self.autorizacao_sincrona,
            "mdfe_consulta": self.consulta,
            "mdfe_evento": self.evento_cte_mdfe,
            "mdfe_nao_encerrados": self.mdfe_nao_encerrados,
        }

    def responder(self, pedido):
        """The answer element for a request whose envelope was accepted."""
        construtor = self.construtores[pedido.servico.tratador]
        try:
            preparar_conteudo(pedido)
        except Rejeicao as rej:
            return construtor(pedido, (rej.cstat, rej.motivo))
        try:
            return construtor(pedido, None)
        except Rejeicao as rej:
            return construtor(pedido, (rej.cstat, rej.motivo))

    # --- status ---------------------------------------------------------------------------

    def _status(self, raiz_resposta, familia, pedido, c_uf, rej):
        if rej is None and pedido.cenario == "rejeitar":
            rej = ("252", "Rejeicao: Ambiente informado diverge do Ambiente de recebimento")
        cstat, motivo = rej or ("107", "Servico em Operacao")
        f = FAMILIAS[familia]
        return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
                els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                    ("xMotivo", motivo), ("cUF", c_uf), ("dhRecbto", agora()),
                    ("tMed", "1" if cstat == "107" else None)) +
                "</%s>" % raiz_resposta)

    def nfe_status(self, pedido, rej):
        c_uf = uf_do_pedido(pedido, texto(pedido.raiz, "cUF", "nfe"))
        return self._status("retConsStatServ", "nfe", pedido, c_uf, rej)

    def status_cte_mdfe(self, pedido, rej):
        familia = pedido.familia
        c_uf = uf_do_pedido(pedido, texto(pedido.raiz, "cUF", familia))
        raiz = "retConsStatServCTe" if familia == "cte" else "retConsStatServMDFe"
        return self._status(raiz, familia, pedido, c_uf, rej)

    # --- authorization: one document ------------------------------------------------------

    def avaliar_documento(self, pedido, familia, dados):
        """Signature, duplicates and scenario for one signed document; records the outcome.
        Returns the Protocolo; a document that cannot be read raises Rejeicao."""
        f = FAMILIAS[familia]
        try:
            doc = ET.fromstring(dados)
        except ET.ParseError:
            raise Rejeicao(243, "Rejeicao: XML Mal Formado")
        inf = filho(doc, f["inf"], familia)
        ident = inf.get("Id", "") if inf is not None else ""
        if local(doc.tag) not in ("NFe", "CTe", "CTeSimp", "MDFe") or ns_de(doc.tag) != NS[familia] \
                or not re.fullmatch(f["doc"] + CHAVE, ident):
            raise rejeicao_schema(pedido.servico)
        chave = ident[len(f["doc"]):]
        tp_amb = texto(inf, "ide/tpAmb", familia) or pedido.tp_amb
        c_uf = texto(inf, "ide/cUF", familia) or chave[:2]
        erro, digest = self.verificador.verificar(dados, familia, f["inf"])
        if erro and erro[0] in ("215", "225"):
            raise Rejeicao(*erro)
        protocolo = Protocolo(familia, chave, tp_amb, "", "", agora(), dig_val=digest)
        # Look-up and record under one lock: two lots with the same key at once get one
        # authorization and one duplicate, as at the authority.
        with self.base.trava:
            anterior = self.base.documentos.get(chave)
            if erro:
                protocolo.cstat, protocolo.motivo = erro
            elif anterior is not None:
                protocolo.cstat, protocolo.motivo = self._duplicidade(anterior)
            elif pedido.cenario == "rejeitar":
                protocolo.cstat = "539"
                protocolo.motivo = ("Rejeicao: Duplicidade de %s, com diferenca na Chave de Acesso "
                                    "[%s:%s][nProt:%s][dhAut:%s]"
                                    % (f["sigla"], f["chave"], outra_chave(chave),
                                       self.base.numero(c_uf), agora()))
            elif pedido.cenario == "denegar":
                protocolo.n_prot = self.base.numero(c_uf)
                protocolo.cstat, protocolo.motivo = (
                    ("301", "Uso Denegado: Irregularidade fiscal do emitente") if familia == "mdfe" else
                    ("302", "Uso Denegado: Irregularidade fiscal do destinatario"))
                self.base.documentos[chave] = Documento(protocolo, dados, situacao="denegado")
            else:
                protocolo.n_prot = self.base.numero(c_uf)
                protocolo.cstat = "100"
                protocolo.motivo = "Autorizado o uso %s %s" % (f["artigo"], f["sigla"])
                self.base.documentos[chave] = Documento(protocolo, dados)
        return protocolo

    @staticmethod
    def _duplicidade(anterior):
        p = anterior.protocolo
        sigla = FAMILIAS[p.familia]["sigla"]
        if anterior.situacao == "denegado":
            return ("205", "Rejeicao: %s esta denegada na base de dados da SEFAZ [nProt:%s][dhDeneg:%s]"
                    % (sigla, p.n_prot, p.dh_recbto))
        return "204", "Rejeicao: Duplicidade de %s [nProt:%s][dhAut:%s]" % (sigla, p.n_prot, p.dh_recbto)

    # --- NF-e authorization ----------------------------------------------------------------

    def nfe_autorizacao(self, pedido, rej):
        raiz = pedido.raiz
        c_uf = uf_do_pedido(pedido)
        protocolos, recibo, cstat, motivo = [], None, None, None
        if rej is None:
            documentos = recortar(pedido.documento, "NFe")
            ind_sinc = texto(raiz, "indSinc", "nfe")
            if not documentos or len(documentos) > 50 or ind_sinc not in ("0", "1") \
                    or not re.fullmatch(r"\d{1,15}", texto(raiz, "idLote", "nfe") or ""):
                raise rejeicao_schema(pedido.servico)
            if ind_sinc == "1" and len(documentos) > 1:
                raise Rejeicao(452, "Rejeicao: Solicitada resposta sincrona para Lote com mais de "
                                    "uma NF-e (indSinc=1)")
            protocolos = [self.avaliar_documento(pedido, "nfe", dados) for dados in documentos]
            pedido.tp_amb = protocolos[0].tp_amb
            c_uf = uf_do_pedido(pedido, texto(raiz, "NFe/infNFe/ide/cUF", "nfe"))
            if ind_sinc == "1" and pedido.cenario != "processando":
                cstat, motivo = "104", "Lote processado"
            else:
                # Asynchronous: the outcome waits for the receipt query.  A synchronous lot
                # that takes too long is also turned into a receipt, as the services do.
                recibo = self.base.recibo(c_uf)
                with self.base.trava:
                    self.base.lotes[recibo] = Lote(recibo, pedido.tp_amb, c_uf, agora(), protocolos)
                cstat, motivo = "103", "Lote recebido com sucesso"
        else:
            cstat, motivo = rej
        corpo = ""
        if recibo:
            corpo = "<infRec>" + els(("nRec", recibo), ("tMed", "1")) + "</infRec>"
        elif cstat == "104":
            corpo = protocolos[0].xml()
        return ('<retEnviNFe xmlns="%s" versao="4.00">' % NS["nfe"] +
                els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                    ("cStat", cstat), ("xMotivo", motivo), ("cUF", c_uf), ("dhRecbto", agora())) +
                corpo + "</retEnviNFe>")

    def nfe_ret_autorizacao(self, pedido, rej):
        n_rec = texto(pedido.raiz, "nRec", "nfe") or ""
        if rej is None and not re.fullmatch(r"\d{15}", n_rec):
            rej = ("215", "Rejeicao: Falha no schema XML")
        lote = None
        if rej is None:
            with self.base.trava:
                lote = self.base.lotes.get(n_rec)
                if lote is not None:
                    lote.consultas += 1
        c_uf = lote.c_uf if lote else uf_do_pedido(pedido, n_rec[:2])
        protocolos = ""
        if rej:
            cstat, motivo = rej
        elif lote is None:
            cstat, motivo = "106", "Lote nao localizado"
        elif pedido.cenario == "processando" or lote.consultas == 1:
            cstat, motivo = "105", "Lote em processamento"
        else:
            # The receipt reports the outcome decided when the lot arrived.
            cstat, motivo = "104", "Lote processado"
            protocolos = "".join(p.xml() for p in lote.protocolos)
        return ('<retConsReciNFe xmlns="%s" versao="4.00">' % NS["nfe"] +
                els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                    ("nRec", n_rec if re.fullmatch(r"\d{15}", n_rec) else "0" * 15),
                    ("cStat", cstat), ("xMotivo", motivo), ("cUF", c_uf),
                    ("dhRecbto", lote.dh_recbto if lote else agora())) +
                protocolos + "</retConsReciNFe>")

    # --- CT-e and MDF-e authorization (synchronous) -----------------------------------------

    def autorizacao_sincrona(self, pedido, rej):
        familia = pedido.familia
        f = FAMILIAS[familia]
        simplificado = pedido.servico.tratador == "cte_simplificado"
        raiz_resposta = "retCTeSimp" if simplificado else ("retCTe" if familia == "cte" else "retMDFe")
        protocolo = None
        if rej is None:
            protocolo = self.avaliar_documento(pedido, familia, pedido.documento)
            cstat, motivo = protocolo.cstat, protocolo.motivo
            pedido.tp_amb = protocolo.tp_amb
            c_uf = uf_do_pedido(pedido, texto(pedido.raiz, f["inf"] + "/ide/cUF", familia))
        else:
            cstat, motivo = rej
            c_uf = uf_do_pedido(pedido)
        return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
                els(("tpAmb", pedido.tp_amb), ("cUF", c_uf), ("verAplic", f["ver_aplic"]),
                    ("cStat", cstat), ("xMotivo", motivo)) +
                (protocolo.xml() if protocolo else "") + "</%s>" % raiz_resposta)

    def cte_ret_autorizacao(self, pedido, rej):
        # CT-e reception is synchronous: there is never a receipt to report on.
        n_rec = texto(pedido.raiz, "nRec", "cte") or ""
        cstat, motivo = rej or ("106", "Lote nao localizado")
        return ('<retConsReciCTe xmlns="%s" versao="4.00">' % NS["cte"] +
                els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["cte"]["ver_aplic"]),
                    ("nRec", n_rec if re.fullmatch(r"\d{15}", n_rec) else "0" * 15),
                    ("cStat", cstat), ("xMotivo", motivo), ("cUF", uf_do_pedido(pedido, n_rec[:2]))) +
                "</retConsReciCTe>")

    # --- inutilização ---------------------------------------------------------------------

    def inutilizacao(self, pedido, rej):
        familia = pedido.familia
        f = FAMILIAS[familia]
        raiz_resposta = "retInutNFe" if familia == "nfe" else "retInutCTe"
        letra = "NF" if familia == "nfe" else "CT"
        inf = filho(pedido.raiz, "infInut", familia) if pedido.raiz is not None else None
        campos = {}
        if inf is not None:
            for nome in ("cUF", "ano", "CNPJ", "mod", "serie", "n%sIni" % letra, "n%sFin" % letra):
                campos[nome] = texto(inf, nome, familia)
        if rej is None:
            # ID + state, (year,) issuer, model, series, first and last number: 39 characters
            # for the CT-e, 41 for the NF-e.
            if inf is None or not re.fullmatch(r"ID[0-9A-Z]{39}([0-9]{2})?", inf.get("Id", "")):
                raise rejeicao_schema(pedido.servico)
            erro, _digest = self.verificador.verificar(pedido.documento, familia, "infInut")
            if erro:
                rej = erro
            elif pedido.cenario == "rejeitar":
                rej = ("241", "Rejeicao: Um numero da faixa ja foi utilizado")
        c_uf = uf_do_pedido(pedido, campos.get("cUF"))
        if rej:
            cstat, motivo = rej
            detalhe = els(("dhRecbto", agora())) if familia == "nfe" else ""
        else:
            cstat, motivo = "102", "Inutilizacao de numero homologado"
            detalhe = (els(*((nome, campos[nome]) for nome in list(campos)[1:])) +
                       els(("dhRecbto", agora()), ("nProt", self.base.numero(c_uf))))
        return ('<%s xmlns="%s" versao="%s"><infInut>' % (raiz_resposta, NS[familia], f["versao"]) +
                els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                    ("xMotivo", motivo), ("cUF", c_uf)) +
                detalhe + "</infInut></%s>" % raiz_resposta)

    # --- consultation of a document -------------------------------------------------------

    def consulta(self, pedido, rej):
        familia = pedido.familia
        f = FAMILIAS[familia]
        chave = texto(pedido.raiz, f["chave"], familia) or ""
        raiz_resposta = {"nfe": "retConsSitNFe", "cte": "retConsSitCTe", "mdfe": "retConsSitMDFe"}[familia]
        if rej is None and not re.fullmatch(CHAVE, chave):
            rej = ("215", "Rejeicao: Falha no schema XML")
        if rej is None and pedido.cenario == "rejeitar":
            rej = ("226", "Rejeicao: Codigo da UF do Emitente diverge da UF autorizadora")
        documento = None
        if rej is None:
            with self.base.trava:
                documento = self.base.documentos.get(chave)
        c_uf = uf_do_pedido(pedido, chave[:2])
        anexos = ""
        if rej:
            cstat, motivo = rej
        elif documento is None:
            cstat, motivo = "217", "Rejeicao: %s nao consta na base de dados da SEFAZ" % f["sigla"]
        else:
            cstat, motivo = self._situacao(documento)
            anexos = documento.protocolo.xml() + "".join(documento.eventos)
        cabeca = els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                     ("xMotivo", motivo), ("cUF", c_uf))
        if familia == "nfe":
            cabeca += els(("dhRecbto", agora()), ("chNFe", chave if len(chave) == 44 else "0" * 44))
        return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
                cabeca + anexos + "</%s>" % raiz_resposta)

    @staticmethod
    def _situacao(documento):
        sigla = FAMILIAS[documento.protocolo.familia]["sigla"]
        artigo = FAMILIAS[documento.protocolo.familia]["artigo"]
        return {
            "autorizado": ("100", "Autorizado o uso %s %s" % (artigo, sigla)),
            "denegado": ("110", "Uso Denegado"),
            "cancelado": ("101", "Cancelamento de %s homologado" % sigla),
            "encerrado": ("132", "Encerramento de %s homologado" % sigla),
        }[documento.situacao]

    # --- events -----------------------------------------------------------------------------

    def _registrar_evento(self, pedido, familia, dados):
        """One signed event -> (retEvento infEvento fields, proc text or None)."""
        f = FAMILIAS[familia]
        try:
            evento = ET.fromstring(dados)
        except ET.ParseError:
            raise Rejeicao(243, "Rejeicao: XML Mal Formado")
        inf = filho(evento, "infEvento", familia)
        # ID + event type + key + sequence (two digits for the NF-e, three for the CT-e).
        if inf is None or not re.fullmatch(r"ID[0-9]{6}" + CHAVE + r"[0-9]{2,3}", inf.get("Id", "")):
            raise rejeicao_schema(pedido.servico)
        chave = texto(inf, f["chave"], familia) or ""
        tp_evento = texto(inf, "tpEvento", familia) or ""
        n_seq = texto(inf, "nSeqEvento", familia) or ""
        org = texto(inf, "cOrgao", familia) or ""
        tp_amb = texto(inf, "tpAmb", familia) or pedido.tp_amb
        descricao = (texto(inf, "detEvento/descEvento", familia) or
                     next((d.text for d in inf.iter() if local(d.tag) == "descEvento"), None))
        erro, _digest = self.verificador.verificar(dados, familia, "infEvento")
        if erro and erro[0] in ("215", "225"):
            raise Rejeicao(*erro)
        chave_evento = (chave, tp_evento, n_seq)
        n_prot = None
        with self.base.trava:
            repetido = self.base.eventos.get(chave_evento)
            documento = self.base.documentos.get(chave)
            if erro:
                cstat, motivo = erro
            elif pedido.cenario == "rejeitar":
                cstat, motivo = "217", "Rejeicao: %s nao consta na base de dados da SEFAZ" % f["sigla"]
            elif repetido:
                cstat, motivo = "573", "Rejeicao: Duplicidade de evento [nProt:%s]" % repetido
            else:
                cstat = "135"
                motivo = "Evento registrado e vinculado a %s" % f["sigla"]
                n_prot = self.base.numero(org if org != "91" else chave[:2])
                self.base.eventos[chave_evento] = n_prot
        campos = dict(tpAmb=tp_amb, verAplic=f["ver_aplic"], cOrgao=org, cStat=cstat,
                      xMotivo=motivo, chave=chave, tpEvento=tp_evento, xEvento=descricao,
                      nSeqEvento=n_seq, dhRegEvento=agora(), nProt=n_prot)
        if n_prot and documento is not None:
            self._aplicar_evento(documento, familia, tp_evento, dados, campos)
        return campos

    def _aplicar_evento(self, documento, familia, tp_evento, dados, campos):
        """Cancellation and closing change what the consultations say about the document."""
        situacao = {"110111": "cancelado", "110112": "encerrado"}.get(tp_evento)
        versao = "1.00" if familia == "nfe" else FAMILIAS[familia]["versao"]
        proc = {"nfe": "procEventoNFe", "cte": "procEventoCTe", "mdfe": "procEventoMDFe"}[familia]
        # As the services answer it: the event and its result side by side in the proc group.
        ret = self._ret_evento_xml(familia, campos, versao, "retEvento" if familia == "nfe"
                                   else "retEvento" + FAMILIAS[familia]["doc"])
        with self.base.trava:
            if situacao == "cancelado" or (situacao == "encerrado" and familia == "mdfe"):
                documento.situacao = situacao
            documento.eventos.append('<%s versao="%s">%s%s</%s>'
                                     % (proc, versao, dados.decode("utf-8"), ret, proc))

    @staticmethod
    def _ret_evento_xml(familia, c, versao, nome, xmlns=""):
        chave_tag = FAMILIAS[familia]["chave"]
        ordem = [("tpAmb", c["tpAmb"]), ("verAplic", c["verAplic"]), ("cOrgao", c["cOrgao"]),
                 ("cStat", c["cStat"]), ("xMotivo", c["xMotivo"])]
        if c.get("chave"):
            ordem += [(chave_tag, c["chave"]), ("tpEvento", c["tpEvento"] or None),
                      ("xEvento", c["xEvento"]), ("nSeqEvento", c["nSeqEvento"] or None)]
        if familia == "nfe":
            ordem += [("dhRegEvento", c["dhRegEvento"]), ("nProt", c["nProt"])]
        elif c["nProt"]:
            ordem += [("dhRegEvento", c["dhRegEvento"]), ("nProt", c["nProt"])]
        atributo = ' xmlns="%s"' % xmlns if xmlns else ""
        return ('<%s%s versao="%s"><infEvento>%s</infEvento></%s>'
                % (nome, atributo, versao, els(*ordem), nome))

    def nfe_evento(self, pedido, rej):
        raiz = pedido.raiz
        id_lote = texto(raiz, "idLote", "nfe") if raiz is not None else None
        org = uf_do_pedido(pedido)
        retornos = ""
        if rej is None:
            eventos = recortar(pedido.documento, "evento")
            if not eventos or len(eventos) > 20 or not re.fullmatch(r"\d{1,15}", id_lote or ""):
                raise rejeicao_schema(pedido.servico)
            for dados in eventos:
                campos = self._registrar_evento(pedido, "nfe", dados)
                pedido.tp_amb, org = campos["tpAmb"], campos["cOrgao"] or org
                retornos += self._ret_evento_xml("nfe", campos, "1.00", "retEvento")
            cstat, motivo = "128", "Lote de Evento Processado"
        else:
            cstat, motivo = rej
        return ('<retEnvEvento xmlns="%s" versao="1.00">' % NS["nfe"] +
                els(("idLote", id_lote if re.fullmatch(r"\d{1,15}", id_lote or "") else "0"),
                    ("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                    ("cOrgao", org), ("cStat", cstat), ("xMotivo", motivo)) +
                retornos + "</retEnvEvento>")

    def evento_cte_mdfe(self, pedido, rej):
        familia = pedido.familia
        f = FAMILIAS[familia]
        nome = "retEvento" + f["doc"]
        if rej is None:
            campos = self._registrar_evento(pedido, familia, pedido.documento)
        else:
            inf = filho(pedido.raiz, "infEvento", familia) if pedido.raiz is not None else None
            campos = dict(tpAmb=pedido.tp_amb, verAplic=f["ver_aplic"],
                          cOrgao=uf_do_pedido(pedido, texto(inf, "cOrgao", familia)),
                          cStat=rej[0], xMotivo=rej[1], chave=None, nProt=None)
        return self._ret_evento_xml(familia, campos, f["versao"], nome, xmlns=NS[familia])

    # --- registry ---------------------------------------------------------------------------

    def nfe_cadastro(self, pedido, rej):
        inf = filho(pedido.raiz, "infCons", "nfe") if pedido.raiz is not None else None
        uf = (texto(inf, "UF", "nfe") or "") if inf is not None else ""
        documento = None
        for nome in ("CNPJ", "CPF", "IE"):
            valor = texto(inf, nome, "nfe") if inf is not None else None
            if valor:
                documento = (nome, valor)
                break
        if rej is None and (uf not in UF_CODIGO or documento is None
                            or texto(inf, "xServ", "nfe") != "CONS-CAD"):
            rej = ("215", "Rejeicao: Falha no schema XML")
        if rej is None and pedido.cenario == "rejeitar":
            rej = ("259", "Rejeicao: CNPJ da consulta nao cadastrado como contribuinte na UF")
        cstat, motivo = rej or ("111", "Consulta cadastro com uma ocorrencia")
        documento = documento or ("CNPJ", "00000000000000")
        cadastro = ""
        if cstat == "111":
            digitos = re.sub(r"\D", "", documento[1])
            inscricao = documento[1] if documento[0] == "IE" else (digitos[:10] or "0").ljust(10, "0")
            identificacao = [] if documento[0] == "IE" else [documento]
            cadastro = ("<infCad>" +
                        els(("IE", inscricao), *identificacao, ("UF", uf), ("cSit", "1"),
                            ("indCredNFe", "1"), ("indCredCTe", "4"),
                            ("xNome", "CONTRIBUINTE SIMULADO %s LTDA" % documento[1]),
                            ("xRegApur", "NORMAL - REGIME PERIODICO DE APURACAO"),
                            ("CNAE", "4751201"), ("dIniAtiv", "2010-01-04"), ("dUltSit", "2010-01-04")) +
                        "</infCad>")
        return ('<retConsCad xmlns="%s" versao="2.00"><infCons>' % NS["nfe"] +
                els(("verAplic", "SIM-CAD-2.00"), ("cStat", cstat), ("xMotivo", motivo),
                    ("UF", uf if uf in UF_CODIGO else "SU"), documento, ("dhCons", agora()),
                    ("cUF", UF_CODIGO.get(uf, uf_do_pedido(pedido)))) +
                cadastro + "</infCons></retConsCad>")

    # --- distribution -----------------------------------------------------------------------

    def nfe_distribuicao(self, pedido, rej):
        raiz = pedido.raiz
        chave = texto(raiz, "consChNFe/chNFe", "nfe") if raiz is not None else None
        lote = ""
        if rej is None and raiz is not None and filho(raiz, "consChNFe", "nfe") is None:
            # Queries by NSU: this run has no documents of interest to distribute.
            rej = ("137", "Nenhum documento localizado")
        if rej is None and not re.fullmatch(CHAVE, chave or ""):
            rej = ("215", "Rejeicao: Falha no schema XML")
        if rej is None and pedido.cenario == "rejeitar":
            rej = ("217", "Rejeicao: NF-e nao consta na base de dados da SEFAZ")
        with self.base.trava:
            nsu = "%015d" % (next(self.base.nsu) if rej is None else 0)
        if rej:
            cstat, motivo = rej
        else:
            cstat, motivo = "138", "Documento localizado"
            compactado = gzip.compress(self._nfe_proc(chave, pedido.tp_amb), mtime=0)
            lote = ('<loteDistDFeInt><docZip NSU="%s" schema="procNFe_v4.00.xsd">%s</docZip>'
                    '</loteDistDFeInt>' % (nsu, base64.b64encode(compactado).decode("ascii")))
        return ('<retDistDFeInt xmlns="%s" versao="1.01">' % NS["nfe"] +
                els(("tpAmb", pedido.tp_amb), ("verAplic", "SIM-DFe-1.01"), ("cStat", cstat),
                    ("xMotivo", motivo), ("dhResp", agora()), ("ultNSU", nsu), ("maxNSU", nsu)) +
                lote + "</retDistDFeInt>")

    def _nfe_proc(self, chave, tp_amb):
        """nfeProc of the key: the document authorised in this run, else one made up and
        signed with the simulator's own key."""
        with self.base.trava:
            documento = self.base.documentos.get(chave)
        if documento is not None and documento.protocolo.familia == "nfe":
            nfe, protocolo = documento.texto, documento.protocolo
        else:
            nfe = self.verificador.assinar(modelo_nfe(chave, tp_amb), self.chave_privada,
                                           self.certificado, "infNFe")
            digest = re.search(rb"<DigestValue>([^<]*)</DigestValue>", nfe)
            protocolo = Protocolo("nfe", chave, tp_amb, "100", "Autorizado o uso da NF-e",
                                  agora(), self.base.numero(chave[:2]),
                                  digest.group(1).decode() if digest else None)
        return (('<nfeProc xmlns="%s" versao="4.00">' % NS["nfe"]).encode() + nfe +
                protocolo.xml().encode() + b"</nfeProc>")

    # --- MDF-e not closed -------------------------------------------------------------------

    def mdfe_nao_encerrados(self, pedido, rej):
        emitente = (texto(pedido.raiz, "CNPJ", "mdfe") or texto(pedido.raiz, "CPF", "mdfe") or ""
                    if pedido.raiz is not None else "")
        if rej is None and not emitente:
            rej = ("215", "Rejeicao: Falha no schema XML")
        if rej is None and pedido.cenario == "rejeitar":
            rej = ("252", "Rejeicao: Ambiente informado diverge do Ambiente de recebimento")
        abertos = []
        if rej is None:
            with self.base.trava:
                # The key holds the issuer's CNPJ, or its CPF with three leading zeros.
                abertos = [d.protocolo for d in self.base.documentos.values()
                           if d.protocolo.familia == "mdfe" and d.situacao == "autorizado"
                           and d.protocolo.chave[6:20] == emitente.zfill(14)]
        if rej:
            cstat, motivo = rej
        elif abertos:
            cstat, motivo = "111", "Consulta nao encerrados localizou MDF-e"
        else:
            cstat, motivo = "112", "Consulta nao encerrados nao localizou MDF-e"
        lista = "".join("<infMDFe>" + els(("chMDFe", p.chave), ("nProt", p.n_prot)) + "</infMDFe>"
                        for p in abertos)
        return ('<retConsMDFeNaoEnc xmlns="%s" versao="3.00">' % NS["mdfe"] +
                els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["mdfe"]["ver_aplic"]),
                    ("cStat", cstat), ("xMotivo", motivo), ("cUF", uf_do_pedido(pedido))) +
                lista + "</retConsMDFeNaoEnc>")


def modelo_nfe(chave, tp_amb):
    """A small NF-e 4.00 for a key the simulator never saw, with an empty signature template."""
    c_uf, aamm, cnpj, modelo, serie, numero = chave[:2], chave[2:6], chave[6:20], chave[20:22], chave[22:25], chave[25:34]
    uf = CODIGO_UF.get(c_uf, "RS")
    emissao = "20%s-%s-01T10:00:00-03:00" % (aamm[:2], aamm[2:])
    ide = els(("cUF", c_uf), ("cNF", chave[35:43]), ("natOp", "VENDA DE MERCADORIA"), ("mod", modelo),
              ("serie", str(int(serie))), ("nNF", str(int(numero) or 1)), ("dhEmi", emissao),
              ("tpNF", "1"), ("idDest", "1"), ("cMunFG", c_uf + "00001"),
              ("tpImp", "1" if modelo == "55" else "4"), ("tpEmis", chave[34]), ("cDV", chave[43]),
              ("tpAmb", tp_amb), ("finNFe", "1"), ("indFinal", "1"), ("indPres", "1"),
              ("procEmi", "0"), ("verProc", "SIMULADOR 1.0"))
    endereco = els(("xLgr", "RUA DO SIMULADOR"), ("nro", "100"), ("xBairro", "CENTRO"),
                   ("cMun", c_uf + "00001"), ("xMun", "MUNICIPIO SIMULADO"), ("UF", uf),
                   ("CEP", "90000000"))
    emit = (els(("CNPJ", cnpj), ("xNome", "NF-E EMITIDA EM AMBIENTE DE HOMOLOGACAO - SEM VALOR FISCAL")) +
            "<enderEmit>" + endereco + "</enderEmit>" + els(("IE", "ISENTO"), ("CRT", "1")))
    prod = els(("cProd", "1"), ("cEAN", "SEM GTIN"), ("xProd", "PRODUTO SIMULADO"), ("NCM", "94036000"),
               ("CFOP", "5102"), ("uCom", "UN"), ("qCom", "1.0000"), ("vUnCom", "10.00"),
               ("vProd", "10.00"), ("cEANTrib", "SEM GTIN"), ("uTrib", "UN"), ("qTrib", "1.0000"),
               ("vUnTrib", "10.00"), ("indTot", "1"))
    imposto = ("<ICMS><ICMSSN102>" + els(("orig", "0"), ("CSOSN", "102")) + "</ICMSSN102></ICMS>"
               "<PIS><PISNT><CST>07</CST></PISNT></PIS><COFINS><COFINSNT><CST>07</CST></COFINSNT></COFINS>")
    zeros = ("vBC", "vICMS", "vICMSDeson", "vFCP", "vBCST", "vST", "vFCPST", "vFCPSTRet")
    total = (els(*((nome, "0.00") for nome in zeros)) + els(("vProd", "10.00")) +
             els(*((nome, "0.00") for nome in ("vFrete", "vSeg", "vDesc", "vII", "vIPI", "vIPIDevol",
                                               "vPIS", "vCOFINS", "vOutro"))) + els(("vNF", "10.00")))
    inf = ('<infNFe Id="NFe%s" versao="4.00"><ide>%s</ide><emit>%s</emit>'
           '<det nItem="1"><prod>%s</prod><imposto>%s</imposto></det>'
           '<total><ICMSTot>%s</ICMSTot></total><transp><modFrete>9</modFrete></transp>'
           '<pag><detPag><tPag>01</tPag><vPag>10.00</vPag></detPag></pag></infNFe>'
           % (chave, ide, emit, prod, imposto, total))
    assinatura = (
        '<Signature xmlns="%s"><SignedInfo>'
        '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
        '<SignatureMethod Algorithm="http://www.w3.org/2000/09/xmldsig#rsa-sha1"/>'
        '<Reference URI="#NFe%s"><Transforms>'
        '<Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/>'
        '<Transform Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/></Transforms>'
        '<DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/><DigestValue></DigestValue>'
        '</Reference></SignedInfo><SignatureValue></SignatureValue>'
        '<KeyInfo><X509Data><X509Certificate></X509Certificate></X509Data></KeyInfo></Signature>'
        % (DSIG, chave))
    return ('<NFe xmlns="%s">%s%s</NFe>' % (NS["nfe"], inf, assinatura)).encode("utf-8")


# ---------------------------------------------------------------------------------------------
# SOAP envelopes of the answers
# ---------------------------------------------------------------------------------------------

def envelope_resposta(pedido, resposta):
    servico = pedido.servico
    cabecalho = ""
    if pedido.cabecalho_uf:
        cabecalho = ('<soap:Header><%s xmlns="%s">%s</%s></soap:Header>'
                     % (servico.elemento_cabecalho, servico.wsdl,
                        els(("cUF", pedido.cabecalho_uf), ("versaoDados", pedido.cabecalho_versao)),
                        servico.elemento_cabecalho))
    if servico.envoltorio:
        corpo = ('<%sResponse xmlns="%s"><%s>%s</%s></%sResponse>'
                 % (servico.envoltorio, servico.wsdl, servico.resultado, resposta,
                    servico.resultado, servico.envoltorio))
    else:
        corpo = '<%s xmlns="%s">%s</%s>' % (servico.resultado, servico.wsdl, resposta, servico.resultado)
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<soap:Envelope xmlns:soap="%s" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
            'xmlns:xsd="http://www.w3.org/2001/XMLSchema">%s<soap:Body>%s</soap:Body></soap:Envelope>'
            % (SOAP12, cabecalho, corpo)).encode("utf-8")


def envelope_falha(motivo, codigo="soap:Sender"):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<soap:Envelope xmlns:soap="%s"><soap:Body><soap:Fault>'
            '<soap:Code><soap:Value>%s</soap:Value></soap:Code>'
            '<soap:Reason><soap:Text xml:lang="pt-BR">%s</soap:Text></soap:Reason>'
            '</soap:Fault></soap:Body></soap:Envelope>' % (SOAP12, codigo, escape(motivo))).encode("utf-8")


PAGINA_404 = (b"<!DOCTYPE html><html><head><title>404 - Not Found</title></head>"
              b"<body><h1>404 - Arquivo ou diret\xc3\xb3rio n\xc3\xa3o encontrado.</h1></body></html>")


# ---------------------------------------------------------------------------------------------
# HTTP
# ---------------------------------------------------------------------------------------------

class Registro:
    """One line per request in --registro, and the received bodies in --pasta-recebidos."""

    def __init__(self, arquivo, pasta):
        self.arquivo = arquivo
        self.pasta = pasta
        self.trava = threading.Lock()
        self.contador = itertools.count(1)

    def proximo(self):
        with self.trava:
            return next(self.contador)

    def linha(self, **campos):
        if not self.arquivo:
            return
        texto_linha = " ".join("%s=%s" % (nome, str(valor).replace(" ", "_").replace("\n", "_"))
                               for nome, valor in campos.items() if valor is not None)
        with self.trava:
            with open(self.arquivo, "a", encoding="utf-8") as saida:
                saida.write("dh=%s %s\n" % (agora(), texto_linha))

    def guardar(self, sequencia, servico, documento, bruto):
        if not self.pasta:
            return
        base = os.path.join(self.pasta, "%04d-%s" % (sequencia, servico))
        if documento is not None:  # None: the envelope was refused, there is no message to decode
            with open(base + ".xml", "wb") as saida:
                saida.write(documento)
        with open(base + "-envelope.xml", "wb") as saida:
            saida.write(bruto)


class Atendente(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "SimuladorSEFAZ/1.0"
    sys_version = ""
    timeout = TEMPO_CONEXAO

    def log_message(self, formato, *argumentos):
        pass  # the request log is --registro

    def do_POST(self):
        self.atender()

    do_GET = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_HEAD = do_POST

    # --- reading ----------------------------------------------------------------------------

    def ler_corpo(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._ler_em_partes()
        tamanho = self.headers.get("Content-Length")
        if not tamanho:
            return b""
        tamanho = int(tamanho)
        if tamanho > CORPO_MAXIMO:
            raise ValueError("corpo grande demais")
        return self.rfile.read(tamanho)

    def _ler_em_partes(self):
        partes, total = [], 0
        while True:
            linha = self.rfile.readline(1024)
            tamanho = int(linha.split(b";")[0].strip() or b"0", 16)
            if tamanho == 0:
                while self.rfile.readline(1024).strip():
                    pass
                return b"".join(partes)
            total += tamanho
            if total > CORPO_MAXIMO:
                raise ValueError("corpo grande demais")
            partes.append(self.rfile.read(tamanho))
            self.rfile.readline(1024)

    # --- writing ----------------------------------------------------------------------------

    def enviar(self, codigo, tipo, corpo):
        self.send_response(codigo)
        self.send_header("Content-Type", tipo)
        self.send_header("Content-Length", str(len(corpo)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(corpo)

    def enviar_falha(self, soap, motivo, codigo="soap:Sender"):
        self.enviar(500, self.tipo_resposta(soap), envelope_falha(motivo, codigo))

    @staticmethod
    def tipo_resposta(soap):
        return "text/xml; charset=utf-8" if soap == "1.1" else "application/soap+xml; charset=utf-8"

    # --- the exchange -----------------------------------------------------------------------

    def atender(self):
        """One request.  The log line and the saved body are written before the answer goes
        out, so a test that has the answer in hand finds them already there."""
        simulador = self.server.simulador
        caminho = urlsplit(self.path).path
        servico = ROTAS.get(caminho.lower())
        registrar = functools.partial(simulador.registro.linha, seq=simulador.registro.proximo(),
                                      metodo=self.command, caminho=caminho,
                                      servico=servico.tratador if servico else "-")
        try:
            corpo = self.ler_corpo()
        except (ValueError, OSError):
            self.close_connection = True
            registrar(http=413)
            self.enviar(413, "text/plain; charset=utf-8", b"corpo invalido ou grande demais\n")
            return
        soap = "1.2" if "soap+xml" in self.headers.get("Content-Type", "") else "1.1"
        cenario = simulador.cenario_atual()
        registrar = functools.partial(registrar, cenario=cenario)
        if servico is None or cenario == "404":
            registrar(http=404)
            self.enviar(404, "text/html; charset=utf-8", PAGINA_404)
        elif cenario not in CENARIOS:
            registrar(http=500, resultado="cenario-desconhecido")
            self.enviar_falha(soap, "Cenario desconhecido no simulador: '%s'" % cenario, "soap:Receiver")
        elif cenario == "fechar":
            # Drop the connection with nothing written, like a server that falls over.
            self.close_connection = True
            registrar(http="-", resultado="conexao-fechada")
        elif cenario == "erro500":
            registrar(http=500, resultado="Fault")
            self.enviar_falha(soap, "Server was unable to process request. ---> "
                              "Erro interno simulado (cenario erro500)", "soap:Receiver")
        else:
            if cenario == "lento":
                time.sleep(simulador.lentidao)
            self.atender_servico(servico, corpo, cenario, soap, registrar)

    def atender_servico(self, servico, corpo, cenario, soap, registrar):
        simulador = self.server.simulador
        sequencia = registrar.keywords["seq"]
        try:
            pedido = interpretar(servico, self.command, self.headers, corpo, cenario)
        except FalhaSoap as falha:
            simulador.registro.guardar(sequencia, servico.tratador, None, corpo)
            registrar(acao=self._acao_bruta(), http=500, resultado="Fault", motivo=falha.motivo)
            self.enviar_falha(soap, falha.motivo, falha.codigo)
            return
        try:
            resposta = simulador.autoridade.responder(pedido)
        except Exception as erro:  # a fault of the simulator itself must still reach the client
            traceback.print_exc()
            registrar(acao=pedido.acao, http=500, resultado="erro-interno")
            self.enviar_falha(pedido.soap, "Erro interno do simulador: %s" % erro, "soap:Receiver")
            return
        simulador.registro.guardar(sequencia, servico.tratador, pedido.documento or
                                   (pedido.mensagem.text or "").encode("utf-8"), corpo)
        registrar(soap=pedido.soap, acao=pedido.acao, http=200,
                  cStat=",".join(re.findall(r"<cStat>(\d+)</cStat>", resposta)),
                  gzip=pedido.gzip_cabecalho)
        self.enviar(200, self.tipo_resposta(pedido.soap), envelope_resposta(pedido, resposta))

    def _acao_bruta(self):
        tipo = self.headers.get("Content-Type", "")
        achado = re.search(r'action\s*=\s*"([^"]*)"', tipo)
        if "soap+xml" in tipo and achado:
            return achado.group(1)
        return (self.headers.get("SOAPAction") or "-").strip('"') or "-"


class ServidorTLS(ThreadingHTTPServer):
    """Accepts plain TCP and does the TLS handshake in the connection's own thread, so a client
    that never completes it cannot stall the others."""

    daemon_threads = True
    block_on_close = False   # stopping must not wait for a slow answer or an idle connection
    allow_reuse_address = True

    def __init__(self, endereco, contexto, simulador):
        self.contexto = contexto
        self.simulador = simulador
        super().__init__(endereco, Atendente)

    def finish_request(self, request, client_address):
        request.settimeout(TEMPO_HANDSHAKE)
        try:
            conexao = self.contexto.wrap_socket(request, server_side=True,
                                                do_handshake_on_connect=False)
        except (ssl.SSLError, OSError):
            return
        try:
            try:
                conexao.do_handshake()
            except (ssl.SSLError, OSError) as erro:
                self.simulador.registro.linha(metodo="-", caminho="-", http="-",
                                              resultado="tls-recusado", motivo=erro)
                return
            conexao.settimeout(TEMPO_CONEXAO)
            self.RequestHandlerClass(conexao, client_address, self)
        except (ssl.SSLError, OSError):
            pass
        finally:
            try:
                conexao.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            conexao.close()


class Simulador:
    def __init__(self, opcoes, verificador):
        self.cenario_inicial = opcoes.cenario
        self.arquivo_cenario = opcoes.arquivo_cenario
        self.lentidao = opcoes.lentidao
        self.registro = Registro(opcoes.registro, opcoes.pasta_recebidos)
        self.autoridade = Autoridade(verificador, opcoes.certificado, opcoes.chave)

    def cenario_atual(self):
        """The scenario file's first line wins, read again on every request."""
        if self.arquivo_cenario:
            try:
                with open(self.arquivo_cenario, encoding="utf-8") as arquivo:
                    primeira = arquivo.readline().strip()
                if primeira:
                    return primeira.lower()
            except OSError:
                pass
        return self.cenario_inicial


# ---------------------------------------------------------------------------------------------
# Start and stop
# ---------------------------------------------------------------------------------------------

def ler_opcoes(argv):
    analisador = argparse.ArgumentParser(
        description="Simulador local dos web services das SEFAZ (NF-e, NFC-e, CT-e, MDF-e).")
    analisador.add_argument("--porta", type=int, required=True, help="porta TCP; 0 escolhe uma livre")
    analisador.add_argument("--certificado", required=True, help="certificado PEM do servidor")
    analisador.add_argument("--chave", required=True, help="chave privada PEM do servidor")
    analisador.add_argument("--ca-clientes", required=True,
                            help="AC (PEM) que emite os certificados de cliente aceitos; "
                                 "tambem a confianca das assinaturas XML")
    analisador.add_argument("--endereco", default="127.0.0.1", help="somente 127.0.0.1")
    analisador.add_argument("--cenario", default="normal", choices=CENARIOS)
    analisador.add_argument("--arquivo-cenario", help="a primeira linha, se existir, vale a cada pedido")
    analisador.add_argument("--lentidao", type=float, default=5.0,
                            help="segundos de espera do cenario lento (padrao 5)")
    analisador.add_argument("--registro", help="arquivo onde acrescentar uma linha por pedido")
    analisador.add_argument("--pasta-recebidos", help="pasta onde gravar cada corpo recebido")
    analisador.add_argument("--tls-maximo", choices=("1.2", "1.3"), default="1.3",
                            help="versao maxima de TLS (1.2 imita servidores antigos)")
    opcoes = analisador.parse_args(argv)
    if opcoes.endereco != "127.0.0.1":
        analisador.error("o simulador so escuta em 127.0.0.1 (recebido %s)" % opcoes.endereco)
    if not 0 <= opcoes.porta <= 65535:
        analisador.error("porta invalida")
    if not 0 <= opcoes.lentidao <= LENTIDAO_MAXIMA:
        analisador.error("--lentidao deve estar entre 0 e %d segundos" % LENTIDAO_MAXIMA)
    for nome in ("certificado", "chave", "ca_clientes"):
        if not os.path.isfile(getattr(opcoes, nome)):
            analisador.error("arquivo nao encontrado: %s" % getattr(opcoes, nome))
    if opcoes.pasta_recebidos:
        os.makedirs(opcoes.pasta_recebidos, exist_ok=True)
    return opcoes


def contexto_tls(opcoes):
    contexto = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    contexto.minimum_version = ssl.TLSVersion.TLSv1_2
    if opcoes.tls_maximo == "1.2":
        contexto.maximum_version = ssl.TLSVersion.TLSv1_2
    contexto.load_cert_chain(opcoes.certificado, opcoes.chave)
    contexto.load_verify_locations(opcoes.ca_clientes)
    contexto.verify_mode = ssl.CERT_REQUIRED
    return contexto


def main(argv=None):
    opcoes = ler_opcoes(argv if argv is not None else sys.argv[1:])
    xmlsec = shutil.which("xmlsec1")
    if not xmlsec:
        sys.exit("simulador: comando xmlsec1 nao encontrado (pacote Debian xmlsec1)")
    try:
        contexto = contexto_tls(opcoes)
    except (ssl.SSLError, OSError) as erro:
        sys.exit("simulador: certificado, chave ou AC invalidos: %s" % erro)
    with tempfile.TemporaryDirectory(prefix="simulador-") as pasta:
        simulador = Simulador(opcoes, Verificador(xmlsec, opcoes.ca_clientes, pasta))
        try:
            servidor = ServidorTLS((opcoes.endereco, opcoes.porta), contexto, simulador)
        except OSError as erro:
            sys.exit("simulador: nao foi possivel escutar em %s:%d: %s"
                     % (opcoes.endereco, opcoes.porta, erro.strerror or erro))
        parar = threading.Event()
        for sinal in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sinal, lambda *_: parar.set())
        laco = threading.Thread(target=servidor.serve_forever, kwargs={"poll_interval": 0.2},
                                daemon=True)
        laco.start()
        print("pronto %d" % servidor.server_address[1], flush=True)
        while not parar.wait(0.5):
            pass
        servidor.shutdown()
        servidor.server_close()


if __name__ == "__main__":
    main()
