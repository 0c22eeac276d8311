"""Municipal NFS-e providers: Thema, Tecnos, Marques de Souza, ISSNet and Curitiba.

Each provider is a row of PROVEDORES (how the message travels and how the answer is wrapped)
and each operation a row of OPERACOES.  What is checked: the SOAP action of the endpoint table,
the envelope, the operation element and its parameters; the message inside must be XML whose
root has the operation's name (recognised by its local name: the providers and our requests do
not agree on namespaces).  Signatures are not checked.  The answer is the provider's ABRASF
document; a message that cannot be read gets E160, and a scenario row replaces the success by
its ListaMensagemRetorno."""

import hashlib
import re
from dataclasses import dataclass, field
from datetime import datetime
from xml.sax.saxutils import escape

from . import abrasf
from .abrasf import ABRASF1, ABRASF2, Dialeto, Nota
from .comum import BRT, TEMPURI, FalhaSoap, agora, local, ns_de, recortar
from .servico import Resposta
from .soap import elemento_unico, envelope, ler_envelope, ler_xml

THEMA = "http://server.nfse.thema.inf.br"
ISSNET = "http://www.issnetonline.com.br/webservice/nfd"
ISSNET_VSD = "http://www.issnetonline.com.br/webserviceabrasf/vsd/"
CURITIBA = "http://www.e-governeapps2.com.br/"


@dataclass(frozen=True)
class Provedor:
    nome: str
    ns: str                   # namespace of the operation element; None: any (not published)
    estilo: str               # the message travels as: "xml" (escaped text in xml), "remessa"
                              # (remessa + cabecalho), "abrasf2" (nfseCabecMsg + nfseDadosMsg) or
                              # "tipado" (the message element itself)
    resultado: str            # answer wrapped in: "return", "Result", "outputXML" or "tipado"
    layout: str               # "1" or "2" (ABRASF)
    municipio: str            # IBGE code when the request names none
    uf: str
    envelopes: tuple = ("1.1", "1.2")
    versao: str = "2.01"      # Nfse/@versao of ABRASF 2 answers
    qualificados: bool = True # parameters of the operation in its namespace (else in none)
    dialeto: Dialeto = Dialeto()
    raizes_ns: dict = field(default_factory=dict)   # answer root -> its namespace


THEMA_ = Provedor("thema", THEMA, "xml", "return", "1", "4311403", "RS", dialeto=Dialeto(natureza="59"))
TECNOS = Provedor("tecnos", TEMPURI, "remessa", "Result", "2", "4306809", "RS", versao="20.01")
MARQUES = Provedor("marques", TEMPURI, "remessa", "Result", "2", "4306809", "RS")
# The reception of this municipality uses the ABRASF 2 model envelope, in a namespace of its own.
MARQUES_GERAR = Provedor("marques", None, "abrasf2", "outputXML", "2", "4306809", "RS",
                         qualificados=False)
ISSNET_ = Provedor("issnet", ISSNET, "xml", "Result", "1", "4313409", "RS",
                   dialeto=Dialeto(tipos="tc:", cpf_cnpj=True, municipio_servico="MunicipioPrestacaoServico",
                                   data_rps="dataHora", competencia="aaaamm",
                                   confirmacao="InfConfirmacaoCancelamento"),
                   raizes_ns={"EnviarLoteRpsResposta": ISSNET_VSD + "servico_enviar_lote_rps_resposta.xsd",
                              "ConsultarLoteRpsResposta": ISSNET_VSD + "servico_consultar_lote_rps_resposta.xsd",
                              "ConsultarNfseRpsResposta": ISSNET_VSD + "servico_consultar_nfse_rps_resposta.xsd",
                              "CancelarNfseResposta": ISSNET_VSD + "servico_cancelar_nfse_resposta.xsd"})
CURITIBA_ = Provedor("curitiba", CURITIBA, "tipado", "tipado", "1", "4106902", "PR",
                     envelopes=("1.2", "1.1"), dialeto=Dialeto(data_rps="dataHora"))


@dataclass(frozen=True, eq=False)
class Servico:
    nome: str
    acao: str
    provedor: Provedor
    operacao: str             # operation element (and name of the answer's elements)
    tipo: str                 # "recepcao", "consulta", "consulta_lote" or "cancelamento"
    raizes: tuple             # accepted roots of the message
    resposta: str             # root of the answer document
    lista_nfse: bool = False  # ABRASF 2: NFS-e inside ListaNfse
    elementos: tuple = ()     # other operation elements accepted
    chaves_cenario: frozenset = frozenset({"Codigo", "Mensagem", "Correcao"})
    # The providers' services answer plain HTTP too (Thema of Lajeado, Tecnos publish it so).
    sem_tls: bool = True

    def ler(self, pedido):
        p = self.provedor
        versao, _cabecalho, corpo = ler_envelope(pedido.bruto, p.envelopes)
        operacao = elemento_unico(corpo)
        ns = p.ns if p.ns is not None else ns_de(operacao.tag)
        nomes = (self.operacao,) + self.elementos
        if local(operacao.tag) not in nomes or ns_de(operacao.tag) != ns:
            raise FalhaSoap("soap:Body deve conter %s no namespace %s, veio %s"
                            % (" ou ".join(nomes), ns or "do provedor", operacao.tag))
        lido = PedidoNfse(servico=self, regra=pedido.regra, bruto=pedido.bruto, versao=versao, ns=ns)
        if p.estilo == "tipado":
            if len(operacao) != 1:
                raise FalhaSoap("%s deve conter o elemento da mensagem" % local(operacao.tag))
            lido.mensagem = operacao[0]
            lido.documento = (recortar(pedido.bruto, local(operacao[0].tag)) or [b""])[0]
        else:
            dados, cabecalho = {"xml": ("xml", None), "remessa": ("remessa", "cabecalho"),
                                "abrasf2": ("nfseDadosMsg", "nfseCabecMsg")}[p.estilo]
            ns_parametros = ns if p.qualificados else ""
            lido.texto = parametro(operacao, ns_parametros, dados)
            lido.cabecalho = parametro(operacao, ns_parametros, cabecalho) if cabecalho else None
            lido.documento = lido.texto.encode("utf-8")
        return lido

    def responder(self, lido, contexto):
        regra = lido.regra or {}
        try:
            mensagem = ler_mensagem(self, lido)
        except ValueError as erro:
            lista = [("E160", "Arquivo em desacordo com o XML Schema", str(erro))]
        else:
            lista = ([(regra["Codigo"], regra["Mensagem"], regra.get("Correcao"))] if "Codigo" in regra
                     else None)
        if not lista:
            try:
                conteudo = RESPOSTAS[self.tipo, self.provedor.layout](self, mensagem, contexto, regra)
            except SemNota as falta:
                lista = [falta.mensagem]
        if lista:
            conteudo = abrasf.mensagens(self.provedor.dialeto.tipos, lista)
        return Resposta(corpo=envolver(self, lido, conteudo), documento=lido.documento,
                        campos=dict(Codigo=",".join(c for c, _m, _x in lista) if lista else None))


@dataclass
class PedidoNfse:
    servico: Servico
    regra: dict
    bruto: bytes
    versao: str                # SOAP version of the envelope, mirrored by the answer
    ns: str                    # namespace of the operation element
    texto: str = None          # the message as text (escaped or CDATA parameter)
    cabecalho: str = None
    mensagem: object = None    # the message element, when it travels typed
    documento: bytes = b""


def parametro(operacao, ns, nome):
    achado = operacao.find("{%s}%s" % (ns, nome)) if ns else operacao.find(nome)
    if achado is None:
        raise FalhaSoap("Parametro %s ausente em %s" % (nome, local(operacao.tag)))
    return achado.text or ""


def ler_mensagem(servico, lido):
    """The message element; ValueError tells why it cannot be read."""
    if lido.mensagem is not None:
        mensagem = lido.mensagem
    else:
        mensagem = _xml(lido.texto, "mensagem")
        if lido.cabecalho is not None:
            cabecalho = _xml(lido.cabecalho, "cabecalho")
            if local(cabecalho.tag) != "cabecalho" or not _valor(cabecalho, "versaoDados"):
                raise ValueError("cabecalho deve ser o elemento cabecalho com versaoDados")
    if local(mensagem.tag) not in servico.raizes:
        raise ValueError("esperado %s, veio %s" % (" ou ".join(servico.raizes), local(mensagem.tag)))
    return mensagem


def _xml(texto, nome):
    try:
        return ler_xml(re.sub(r"^\s*<\?xml[^>]*\?>", "", (texto or "").lstrip("\ufeff")))
    except (ValueError, SyntaxError) as erro:
        raise ValueError("%s nao e XML bem formado: %s" % (nome, erro))


# --- reading the message, by local names --------------------------------------------------------

def _primeiro(elemento, nome):
    if elemento is None:
        return None
    return next((e for e in elemento.iter() if local(e.tag) == nome), None)


def _valor(elemento, nome):
    achado = _primeiro(elemento, nome)
    return (achado.text or "").strip() if achado is not None else ""


def _digitos(texto, maximo):
    digitos = re.sub(r"\D", "", texto or "").lstrip("0")
    return digitos[:maximo] if digitos else None


def _rps(identificacao):
    numero = _digitos(_valor(identificacao, "Numero"), 15) or "0"
    serie = (_valor(identificacao, "Serie") or "1")[:5]
    tipo = _valor(identificacao, "Tipo")
    return numero, serie, tipo if tipo in ("1", "2", "3") else "1"


def _prestador(servico, mensagem):
    p = servico.provedor
    cnpj = re.sub(r"\D", "", _valor(mensagem, "Cnpj"))
    municipio = _digitos(_valor(mensagem, "CodigoMunicipio") or _valor(mensagem, "IdCidade"), 7)
    return (cnpj if len(cnpj) == 14 else "0" * 14, _digitos(_valor(mensagem, "InscricaoMunicipal"), 15),
            municipio if municipio and len(municipio) == 7 else p.municipio)


E89 = ("E89", "Nao existe na base de dados uma NFS-e emitida para o numero de RPS informado.",
       "Informe o numero correto do RPS.")
E86 = ("E86", "Numero do protocolo de recebimento do lote inexistente na base de dados",
       "Confira se o lote foi enviado e informe o numero correto do protocolo de recebimento.")
E92 = ("E92", "Esse lote foi recebido, mas ainda nao foi processado.", "Faca uma nova consulta mais tarde.")
E79 = ("E79", "Essa NFS-e ja esta cancelada.", None)


class SemNota(Exception):
    """A request the provider answers with a message instead: an RPS no lot of this run brought
    (E89), a protocol this run never gave (E86), a lot not processed (E92), an NFS-e cancelled
    already (E79)."""

    def __init__(self, mensagem=E89):
        super().__init__(mensagem[0])
        self.mensagem = mensagem


def _nota(servico, contexto, rps, cnpj, inscricao, municipio, emite=True):
    """The NFS-e of an RPS: the one issued for it in this run, else (a lot bringing it) a new one."""
    memoria = contexto.memoria
    chave = (servico.provedor.nome, cnpj, rps[0])
    with memoria.trava:
        notas = memoria.de("nfse")
        if chave not in notas and not emite:
            raise SemNota()
        if chave not in notas:
            numero = "%s%011d" % (datetime.now(BRT).strftime("%Y"), memoria.proximo())
            codigo = hashlib.sha1(numero.encode()).hexdigest()[:9].upper()
            notas[chave] = Nota(numero, codigo, agora(), rps, cnpj, inscricao, municipio,
                                servico.provedor.uf)
        return notas[chave]


# --- answers by operation and layout ------------------------------------------------------------

def _recepcao(servico, mensagem, contexto, emite=True):
    cnpj, inscricao, municipio = _prestador(servico, mensagem)
    if not emite:
        return cnpj, []
    notas = [_nota(servico, contexto, _rps(identificacao), cnpj, inscricao, municipio)
             for identificacao in mensagem.iter() if local(identificacao.tag) == "IdentificacaoRps"]
    return cnpj, notas


def recepcao_v1(servico, mensagem, contexto, regra):
    """The lot is received under a protocol; a scenario row lote_recusado has the provider refuse
    it while processing: no NFS-e, and its consultation by protocol answers the row of the lot
    consultation (else E92, not processed)."""
    _cnpj, notas = _recepcao(servico, mensagem, contexto, emite=not regra.get("lote_recusado"))
    protocolo = contexto.memoria.numero("43")
    with contexto.memoria.trava:
        contexto.memoria.de("lotes_nfse")[servico.provedor.nome, protocolo] = notas
    return abrasf.lote_recebido(_digitos(_valor(mensagem, "NumeroLote"), 15) or "0", protocolo, agora())


def consulta_lote(servico, mensagem, contexto, _regra):
    with contexto.memoria.trava:
        notas = contexto.memoria.de("lotes_nfse").get((servico.provedor.nome, _valor(mensagem, "Protocolo")))
    if notas is None:
        raise SemNota(E86)
    if not notas:
        raise SemNota(E92)
    return "<ListaNfse>%s</ListaNfse>" % "".join(abrasf.comp_nfse_v1(n, servico.provedor.dialeto)
                                                 for n in notas)


def recepcao_v2(servico, mensagem, contexto, _regra):
    _cnpj, notas = _recepcao(servico, mensagem, contexto)
    lista = "<ListaNfse>%s</ListaNfse>" % "".join(abrasf.comp_nfse_v2(n, servico.provedor.versao)
                                                  for n in notas)
    if servico.operacao == "GerarNfse":
        return lista
    return abrasf.lote_recebido(_digitos(_valor(mensagem, "NumeroLote"), 15) or "0",
                                contexto.memoria.numero("43"), agora()) + lista


def consulta(servico, mensagem, contexto, _regra):
    cnpj, inscricao, municipio = _prestador(servico, mensagem)
    nota = _nota(servico, contexto, _rps(_primeiro(mensagem, "IdentificacaoRps") or mensagem),
                 cnpj, inscricao, municipio, emite=False)
    with contexto.memoria.trava:
        cancelamento_ = contexto.memoria.de("nfse_canceladas").get((servico.provedor.nome, nota.numero))
    if servico.provedor.layout == "1":
        comp = abrasf.comp_nfse_v1(nota, servico.provedor.dialeto, cancelamento_)
    else:
        comp = abrasf.comp_nfse_v2(nota, servico.provedor.versao, cancelamento_)
    return "<ListaNfse>%s</ListaNfse>" % comp if servico.lista_nfse else comp


def cancelamento(servico, mensagem, contexto, _regra):
    """The confirmation, remembered: the NFS-e asked for later carries it, and a second
    cancellation of the same NFS-e is answered E79."""
    cnpj, inscricao, municipio = _prestador(servico, mensagem)
    numero = _digitos(_valor(_primeiro(mensagem, "IdentificacaoNfse"), "Numero"), 15) or "0"
    codigo = _valor(mensagem, "CodigoCancelamento")
    if servico.provedor.layout == "1":
        resposta = abrasf.cancelamento_v1((numero, cnpj, inscricao, municipio, codigo[:4] or "1"), agora(),
                                          servico.provedor.dialeto)
    else:
        codigo = codigo if re.fullmatch(r"[1-5]", codigo) else "1"
        resposta = abrasf.cancelamento_v2((numero, cnpj, inscricao, municipio, codigo), agora(),
                                          servico.provedor.versao)
    with contexto.memoria.trava:
        canceladas = contexto.memoria.de("nfse_canceladas")
        if (servico.provedor.nome, numero) in canceladas:
            raise SemNota(E79)
        canceladas[servico.provedor.nome, numero] = resposta
    return resposta


RESPOSTAS = {
    ("recepcao", "1"): recepcao_v1, ("recepcao", "2"): recepcao_v2,
    ("consulta", "1"): consulta, ("consulta", "2"): consulta, ("consulta_lote", "1"): consulta_lote,
    ("cancelamento", "1"): cancelamento, ("cancelamento", "2"): cancelamento,
}


def envolver(servico, lido, conteudo):
    """The answer envelope: the ABRASF document as escaped text in the provider's result
    element, or its children typed in the result element."""
    p = servico.provedor
    op = servico.operacao
    if p.resultado == "tipado":
        corpo = '<%sResponse xmlns="%s"><%sResult>%s</%sResult></%sResponse>' % (op, lido.ns, op, conteudo, op, op)
        return envelope(corpo, lido.versao)
    ns_raiz = p.raizes_ns.get(servico.resposta) or (ABRASF1 if p.layout == "1" else ABRASF2)
    tipos = ' xmlns:tc="%stipos_complexos.xsd"' % ISSNET_VSD if p.dialeto.tipos else ""
    # Thema and ISSNet declare the message they return as ISO-8859-1 (it travels as text of the
    # UTF-8 envelope all the same).
    declaracao = "ISO-8859-1" if p.estilo == "xml" else "utf-8"
    documento = escape('<?xml version="1.0" encoding="%s"?><%s xmlns="%s"%s>%s</%s>'
                       % (declaracao, servico.resposta, ns_raiz, tipos, conteudo, servico.resposta))
    if p.resultado == "return":
        corpo = '<ns:%sResponse xmlns:ns="%s"><ns:return>%s</ns:return></ns:%sResponse>' % (
            op, lido.ns, documento, op)
    elif p.resultado == "outputXML":
        corpo = '<%sResponse xmlns="%s"><outputXML>%s</outputXML></%sResponse>' % (op, lido.ns, documento, op)
    else:
        corpo = '<%sResponse xmlns="%s"><%sResult>%s</%sResult></%sResponse>' % (op, lido.ns, op, documento, op, op)
    return envelope(corpo, lido.versao)


# --- operations -------------------------------------------------------------------------------

def _op(nome, acao, provedor, operacao, tipo, raizes, resposta, **extra):
    return Servico(nome=nome, acao=acao, provedor=provedor, operacao=operacao, tipo=tipo,
                   raizes=raizes, resposta=resposta, **extra)


ENVIO_V1 = ("EnviarLoteRpsEnvio",)
CONSULTA = ("ConsultarNfseRpsEnvio",)
CONSULTA_LOTE = ("ConsultarLoteRpsEnvio",)
# The ABRASF 1.00 receptions read a scenario row that has the lot refused while processing.
_RECEPCAO_V1 = dict(chaves_cenario=frozenset({"Codigo", "Mensagem", "Correcao", "lote_recusado"}))
CANCELAMENTO = ("CancelarNfseEnvio",)
_TEMA = "/thema-nfse/services/"
_ISSNET = "/webserviceabrasf/homologacao/servicos.asmx"
_CURITIBA = "/Iss.NfseWebService/nfsews.asmx"
_MARQUES = "/NfseService/NfseService"
# Every Tecnos operation is an ASMX of its own, on a port of its own at the provider.
_TECNOS_ENVIO = "/EnvioLoteRPSSincrono.asmx"
_TECNOS_CONSULTA = "/ConsultaNFSePorRPS.asmx"
_TECNOS_CANCELAMENTO = "/CancelamentoNFSe.asmx"

_CANCELAMENTO_TECNOS = dict(tipo="cancelamento", raizes=CANCELAMENTO, resposta="CancelarNfseResposta")

ROTAS = [
    (_TEMA + "NFSEremessa", _op("nfse_thema_recepcao", "recepcionarLoteRpsLimitado", THEMA_,
                                "recepcionarLoteRpsLimitado", "recepcao", ENVIO_V1, "EnviarLoteRpsResposta",
                                **_RECEPCAO_V1)),
    (_TEMA + "NFSEconsulta", _op("nfse_thema_consulta", "consultarNfsePorRps", THEMA_,
                                 "consultarNfsePorRps", "consulta", CONSULTA, "ConsultarNfseRpsResposta")),
    (_TEMA + "NFSEconsulta", _op("nfse_thema_consulta_lote", "consultarLoteRps", THEMA_, "consultarLoteRps",
                                 "consulta_lote", CONSULTA_LOTE, "ConsultarLoteRpsResposta")),
    (_TEMA + "NFSEcancelamento", _op("nfse_thema_cancelamento", "cancelarNfse", THEMA_, "cancelarNfse",
                                     "cancelamento", CANCELAMENTO, "CancelarNfseResposta")),
    (_TECNOS_ENVIO, _op("nfse_tecnos_recepcao", TEMPURI + "mEnvioLoteRPSSincrono", TECNOS,
                        "mEnvioLoteRPSSincrono", "recepcao", ("EnviarLoteRpsSincronoEnvio",),
                        "EnviarLoteRpsSincronoResposta", lista_nfse=True)),
    (_TECNOS_CONSULTA, _op("nfse_tecnos_consulta", TEMPURI + "mConsultaNFSePorRPS", TECNOS,
                           "mConsultaNFSePorRPS", "consulta", CONSULTA, "ConsultarNfseRpsResposta")),
    (_TECNOS_CANCELAMENTO, _op("nfse_tecnos_cancelamento", TEMPURI + "mCancelamentoNFSe", TECNOS,
                               "mCancelamentoNFSe", **_CANCELAMENTO_TECNOS)),
    # Our reception builds the Tecnos lot; the ABRASF 2 model operation takes GerarNfseEnvio.
    (_MARQUES, _op("nfse_marques_recepcao", "GerarNfse", MARQUES_GERAR, "GerarNfse", "recepcao",
                   ("EnviarLoteRpsSincronoEnvio", "GerarNfseEnvio"), "GerarNfseResposta")),
    (_MARQUES, _op("nfse_marques_consulta", TEMPURI + "ConsultarNfseFaixa", MARQUES, "ConsultarNfseFaixa",
                   "consulta", CONSULTA + ("ConsultarNfseFaixaEnvio",), "ConsultarNfseFaixaResposta",
                   lista_nfse=True)),
    (_MARQUES, _op("nfse_marques_cancelamento", TEMPURI + "CancelarNfse", MARQUES, "CancelarNfse",
                   **_CANCELAMENTO_TECNOS)),
    (_ISSNET, _op("nfse_issnet_recepcao", ISSNET + "/RecepcionarLoteRps", ISSNET_, "RecepcionarLoteRps",
                  "recepcao", ENVIO_V1, "EnviarLoteRpsResposta", **_RECEPCAO_V1)),
    (_ISSNET, _op("nfse_issnet_consulta", ISSNET + "/ConsultarNFSePorRPS", ISSNET_, "ConsultarNFSePorRPS",
                  "consulta", CONSULTA, "ConsultarNfseRpsResposta")),
    (_ISSNET, _op("nfse_issnet_consulta_lote", ISSNET + "/ConsultarLoteRps", ISSNET_, "ConsultarLoteRps",
                  "consulta_lote", CONSULTA_LOTE, "ConsultarLoteRpsResposta")),
    (_ISSNET, _op("nfse_issnet_cancelamento", ISSNET + "/CancelarNfse", ISSNET_, "CancelarNfse",
                  "cancelamento", CANCELAMENTO, "CancelarNfseResposta")),
    # Our client wraps every Curitiba message in RecepcionarLoteRps; the action tells them apart.
    (_CURITIBA, _op("nfse_curitiba_recepcao", CURITIBA + "RecepcionarLoteRps", CURITIBA_,
                    "RecepcionarLoteRps", "recepcao", ENVIO_V1, "EnviarLoteRpsResposta", **_RECEPCAO_V1)),
    (_CURITIBA, _op("nfse_curitiba_consulta_lote", CURITIBA + "ConsultarLoteRps", CURITIBA_,
                    "ConsultarLoteRps", "consulta_lote", CONSULTA_LOTE, "ConsultarLoteRpsResposta")),
    (_CURITIBA, _op("nfse_curitiba_consulta", CURITIBA + "ConsultarNfsePorRps", CURITIBA_,
                    "ConsultarNfsePorRps", "consulta", CONSULTA, "ConsultarNfseRpsResposta",
                    elementos=("RecepcionarLoteRps",))),
    (_CURITIBA, _op("nfse_curitiba_cancelamento", CURITIBA + "CancelarNfse", CURITIBA_, "CancelarNfse",
                    "cancelamento", CANCELAMENTO, "CancelarNfseResposta", elementos=("RecepcionarLoteRps",))),
]
