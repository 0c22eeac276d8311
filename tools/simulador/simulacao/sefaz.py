"""What the SEFAZ services of NF-e, CT-e and MDF-e (and the national environment) share: the
service description, the request as they read it (SOAP 1.2 envelope, optional header, message
element, decoded content) and the envelope of their answers."""

import base64
import binascii
import re
import xml.etree.ElementTree as ET
import zlib
from dataclasses import dataclass, field

from . import assinatura
from .assinatura import modelo_assinatura
from .comum import CORPO_MAXIMO, FalhaSoap, els, local, ns_de, recortar
from .servico import Resposta, preencher
from .soap import elemento_unico, envelope, ler_envelope

NS = {
    "nfe": "http://www.portalfiscal.inf.br/nfe",
    "cte": "http://www.portalfiscal.inf.br/cte",
    "mdfe": "http://www.portalfiscal.inf.br/mdfe",
}
WSDL = {familia: uri + "/wsdl/" for familia, uri in NS.items()}

# Access key: state, year and month, issuer's CNPJ (alphanumeric from July 2026: twelve letters or
# digits and two check digits), model, series, number, emission type, code and check digit.
CHAVE = r"[0-9]{6}[A-Z0-9]{12}[0-9]{26}"

UF_CODIGO = {
    "RO": "11", "AC": "12", "AM": "13", "RR": "14", "PA": "15", "AP": "16", "TO": "17",
    "MA": "21", "PI": "22", "CE": "23", "RN": "24", "PB": "25", "PE": "26", "AL": "27",
    "SE": "28", "BA": "29", "MG": "31", "ES": "32", "RJ": "33", "SP": "35", "PR": "41",
    "SC": "42", "RS": "43", "MS": "50", "MT": "51", "GO": "52", "DF": "53", "SU": "90",
}
CODIGO_UF = {codigo: uf for uf, codigo in UF_CODIGO.items()}

# Per family: name in texts (and the words that agree with it: the NF-e is feminine), signed
# document, its info group, key element, answer versions.
FAMILIAS = {
    "nfe": dict(sigla="NF-e", doc="NFe", inf="infNFe", chave="chNFe", versao="4.00",
                prot="protNFe", ver_aplic="SIM-NFe-4.00", artigo="da", um="uma", o="a"),
    "cte": dict(sigla="CT-e", doc="CTe", inf="infCte", chave="chCTe", versao="4.00",
                prot="protCTe", ver_aplic="SIM-CTe-4.00", artigo="do", um="um", o="o"),
    "mdfe": dict(sigla="MDF-e", doc="MDFe", inf="infMDFe", chave="chMDFe", versao="3.00",
                 prot="protMDFe", ver_aplic="SIM-MDFe-3.00", artigo="do", um="um", o="o"),
}

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

# Keys of a scenario row: every SEFAZ answer can be replaced by a status and its text; an
# authorization also reads whether a protocol is given, what the document becomes and whether
# the answer leaves out the element after its code (the protocol, or the receipt of a lot).
CHAVES_RESPOSTA = frozenset({"cStat", "xMotivo"})
CHAVES_AUTORIZACAO = CHAVES_RESPOSTA | {"protocolo", "situacao", "sem_protocolo", "digitos_protocolo"}
# An event row may be narrowed to some event types (tpEvento: a list); its cStat 135, 136 or 155
# registers the event, any other rejects it.
CHAVES_EVENTO = CHAVES_RESPOSTA | {"tpEvento"}


class Rejeicao(Exception):
    """The request is answered with the service's own message carrying this status."""

    def __init__(self, cstat, motivo):
        super().__init__("%s %s" % (cstat, motivo))
        self.cstat = str(cstat)
        self.motivo = motivo


@dataclass(frozen=True, eq=False)
class Servico:
    nome: str              # name in the log and in the scenario table
    familia: str           # "nfe", "cte" or "mdfe": namespaces and element names
    wsdl: str              # WSDL namespace of the header, body and result elements
    acao: str              # SOAP action the client must send
    versao_dados: str      # versaoDados of the header, when a header is carried
    cabecalho: str         # "obrigatorio", "proibido" or "opcional"
    conteudo: str          # "xml" (a message element) or "base64" (gzip of the document)
    raizes: tuple          # accepted root elements of the message
    resultado: str         # result element around the answer
    construtor: object     # (pedido, rejection or None, contexto) -> answer element text
    mensagem: str = ""     # body element; default <familia>DadosMsg
    envoltorio: str = ""   # outer body element of the distribution service
    chaves_cenario: frozenset = CHAVES_RESPOSTA
    # Emission forms (tpEmis) an authorisation service takes; None: any.  The state services
    # refuse the virtual contingency authorisers' forms, which take only their own.
    emissoes: tuple = None

    @property
    def elemento_mensagem(self):
        return self.mensagem or self.familia + "DadosMsg"

    @property
    def elemento_cabecalho(self):
        return self.familia + "CabecMsg"

    def ler(self, pedido):
        """Envelope-level checks; anything wrong here is answered with a SOAP Fault."""
        _versao, cabecalho, corpo = ler_envelope(pedido.bruto)
        uf, versao = ler_cabecalho(self, cabecalho)
        return PedidoSefaz(servico=self, cenario=pedido.cenario, regra=pedido.regra,
                           soap=pedido.soap, acao=pedido.acao, bruto=pedido.bruto,
                           cabecalho_uf=uf, cabecalho_versao=versao,
                           mensagem=ler_corpo_soap(self, corpo))

    def responder(self, pedido, contexto):
        try:
            preparar_conteudo(pedido, contexto)
        except Rejeicao as rej:
            resposta = self.construtor(pedido, (rej.cstat, rej.motivo), contexto)
        else:
            try:
                resposta = self.construtor(pedido, None, contexto)
            except Rejeicao as rej:
                resposta = self.construtor(pedido, (rej.cstat, rej.motivo), contexto)
        return Resposta(corpo=envelope_resposta(pedido, resposta),
                        documento=pedido.documento or (pedido.mensagem.text or "").encode("utf-8"),
                        campos=dict(cStat=",".join(re.findall(r"<cStat>(\d+)</cStat>", resposta)),
                                    gzip=pedido.gzip_cabecalho))


def servico(nome, familia, servico_wsdl, operacao, construtor, **extra):
    """A service whose action is the WSDL namespace, or the namespace + "/" + operation."""
    wsdl = WSDL[familia] + servico_wsdl
    acao = wsdl + "/" + operacao if operacao else wsdl
    return Servico(nome=nome, familia=familia, wsdl=wsdl, acao=acao, construtor=construtor, **extra)


@dataclass
class PedidoSefaz:
    servico: Servico
    cenario: str
    regra: dict
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

    def desvio(self, regra=None, **campos):
        """(cStat, xMotivo) the scenario in force puts in place of the normal answer, or None.
        The text may name the family's fields and the ones given here.  `regra`: the row to
        read instead of the service's own (a row narrowed to some requests, {} for none)."""
        regra = self.regra if regra is None else regra
        if not regra or "cStat" not in regra:
            return None
        f = FAMILIAS[self.familia]
        campos = dict(dict(sigla=f["sigla"], artigo=f["artigo"], um=f["um"], o=f["o"],
                           campo_chave=f["chave"]), **campos)
        return regra["cStat"], preencher(regra["xMotivo"], **campos)


# ---------------------------------------------------------------------------------------------
# Envelope and message element
# ---------------------------------------------------------------------------------------------

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
    mensagem = elemento_unico(corpo)
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
    return envelope(corpo, "1.2", cabecalho)


# ---------------------------------------------------------------------------------------------
# Message content: decoding and the checks every service shares
# ---------------------------------------------------------------------------------------------

def rejeicao_schema(servico):
    if servico.nome == "nfe_autorizacao":
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


def preparar_conteudo(pedido, _contexto=None):
    """Fills pedido.documento and pedido.raiz; wrong content is a rejection of the service."""
    servico = pedido.servico
    if servico.conteudo == "base64":
        pedido.documento = desempacotar(pedido)
        try:
            pedido.documento.decode("utf-8")
        except UnicodeDecodeError:
            raise Rejeicao(243, "Rejeicao: XML Mal Formado (documento nao esta em UTF-8)")
        if re.search(rb"<!DOCTYPE", pedido.documento, re.IGNORECASE):
            raise Rejeicao(243, "Rejeicao: XML Mal Formado (DTD nao permitida)")
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


def rejeicao_assinatura(resultado, familia):
    """The authority's answer to a signature check that failed."""
    return {
        assinatura.MALFORMADO: ("243", "Rejeicao: XML Mal Formado"),
        assinatura.AUSENTE: ("225" if familia == "nfe" else "215",
                             "Rejeicao: Falha no Schema XML (assinatura ausente)"),
        assinatura.REFERENCIA: ("298", "Rejeicao: Assinatura difere do padrao do Sistema"),
        assinatura.CADEIA: ("293", "Rejeicao: Certificado Assinatura - erro Cadeia de Certificacao"),
        assinatura.CALCULO: ("297", "Rejeicao: Assinatura difere do calculado"),
    }[resultado] if resultado else None


def verificar_assinatura(contexto, dados, familia, nome_inf):
    """(rejection or None, DigestValue) of a signed element of the family."""
    resultado, digest = contexto.verificador.verificar(dados, NS[familia], nome_inf)
    return rejeicao_assinatura(resultado, familia), digest


# ---------------------------------------------------------------------------------------------
# Small readers
# ---------------------------------------------------------------------------------------------

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


def uf_do_pedido(pedido, *candidatos):
    """cUF of the answer: the first valid of the given values, the header's, else RS."""
    for valor in candidatos + (pedido.cabecalho_uf,):
        if valor and re.fullmatch(r"\d{2}", valor):
            return valor
    return "43"


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
    assinante: object = field(default=None, repr=False, compare=False)
    _assinado: str = field(default=None, repr=False, compare=False)

    def xml(self):
        """The protocol element.  One with a number is signed by the authority's key, the
        first time it is shown, and is the same text in every answer that carries it."""
        f = FAMILIAS[self.familia]
        campos = els(("tpAmb", self.tp_amb), ("verAplic", f["ver_aplic"]), (f["chave"], self.chave),
                     ("dhRecbto", self.dh_recbto), ("nProt", self.n_prot),
                     ("digVal", self.dig_val), ("cStat", self.cstat), ("xMotivo", self.motivo))
        if not self.n_prot or self.assinante is None:
            # Rejections carry no number, so no Id to sign, as at the authority.
            return '<%s versao="%s"><infProt>%s</infProt></%s>' % (f["prot"], f["versao"], campos,
                                                                   f["prot"])
        if self._assinado is None:
            # Two threads may both sign it: the result is the same bytes (PKCS#1 v1.5 is
            # deterministic), so the race costs one xmlsec1 run and no lock is held meanwhile.
            self._assinado = assinado_pela_autoridade(self.assinante, f["prot"], f["versao"],
                                                      NS[self.familia], "infProt",
                                                      "ID" + self.n_prot, campos)
        return self._assinado


def assinado_pela_autoridade(assinante, raiz, versao, ns, grupo, ident, campos):
    """`<raiz versao xmlns><grupo Id=ident>campos</grupo><Signature/></raiz>` signed by the
    authority's key on its own, declaring its namespace, so that its canonical form (and so the
    signature) holds where it is cut out to: a proc whose root declares that same namespace and
    no other.  xmlns comes after versao, as the services write it."""
    abertura = '<%s versao="%s" xmlns="%s">' % (raiz, versao, ns)
    inf = '<%s Id="%s">%s</%s>' % (grupo, ident, campos, grupo)
    fim = "</%s>" % raiz
    assinado = assinante.assinar((abertura + inf + modelo_assinatura("#" + ident) + fim)
                                 .encode("utf-8"), grupo).decode("utf-8")
    assinatura = re.search(r"<Signature[\s>].*</Signature>", assinado, re.S).group(0)
    # Values outside SignedInfo may lose xmlsec1's line breaks: the answers stay on one line.
    assinatura = re.sub(r"<(SignatureValue|X509Certificate)>([^<]*)</\1>",
                        lambda m: "<%s>%s</%s>" % (m.group(1), re.sub(r"\s+", "", m.group(2)),
                                                   m.group(1)), assinatura)
    return abertura + inf + assinatura + fim
