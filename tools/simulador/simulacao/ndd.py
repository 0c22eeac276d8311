"""NDD Cargo exchange service: one SOAP operation, Send, carrying a CrossTalk message (a header
naming the process, then the business request as raw data).

The exchange is asynchronous: a GUID is asked for (process 1004), a request is sent under it,
and its result is fetched with the consultation (process 1000, exchange pattern 8).  A payment
(process 2005, pattern 1) is answered at once and can be fetched as well.  What is checked: the
SOAP action, the envelope and the Send element with its message; the CrossTalk header (known
process/type/pattern, CNPJ, token, a GUID handed out here where one is needed); the root of the
business request in raw data.  Signatures of the business requests are not checked.  Anything
wrong in the message is answered with ResponseCode 400 and its reason."""

import re
import uuid
from dataclasses import dataclass
from xml.sax.saxutils import escape

from .comum import TEMPURI, XSD, XSI, FalhaSoap, agora, els, local
from .servico import Resposta
from .soap import elemento_unico, envelope, ler_envelope, ler_xml

NDD = "http://www.nddigital.com.br/nddcargo"
VERSAO = "4.2.11.0"

# (ProcessCode, MessageType, ExchangePattern) -> operation, root of the business request.
OPERACOES = {
    ("1004", "100", "1"): ("guid", None),
    ("1000", "100", "8"): ("consulta", None),
    ("1000", "100", "7"): ("ciot", "loteOT_envio"),
    ("2019", "100", "7"): ("vale_pedagio", "operacaoValePedagio_envio"),
    ("2027", "100", "7"): ("rota", "consultarRoteirizador_envio"),
    ("2005", "1", "1"): ("pagamento", "pagamentoImediatoOT_envio"),
    ("1002", "100", "7"): ("cancelamento", "cancelarOT_envio"),
}


class Recusa(Exception):
    """The message is answered with ResponseCode 400, this reason and the header fields that
    could be read."""

    def __init__(self, motivo, cabecalho=None):
        super().__init__(motivo)
        self.cabecalho = cabecalho or {}


@dataclass
class Mensagem:
    cabecalho: dict          # the CrossTalk_Header fields
    operacao: str
    negocio: object = None   # the business request, when it has one


@dataclass(frozen=True, eq=False)
class Servico:
    nome: str = "ndd_cargo"
    acao: str = TEMPURI + "Send"
    chaves_cenario: frozenset = frozenset({"codigo", "mensagem", "pendente"})

    def ler(self, pedido):
        versao, _cabecalho, corpo = ler_envelope(pedido.bruto, ("1.2", "1.1"))
        send = elemento_unico(corpo)
        if send.tag != "{%s}Send" % TEMPURI:
            raise FalhaSoap("soap:Body deve conter Send no namespace %s, veio %s" % (TEMPURI, send.tag))
        mensagem = send.find("{%s}message" % TEMPURI)
        if mensagem is None:
            raise FalhaSoap("Parametro message ausente em Send")
        dados = send.find("{%s}rawData" % TEMPURI)
        return dict(regra=pedido.regra, versao=versao, mensagem=mensagem.text or "",
                    dados=(dados.text or "") if dados is not None else "")

    def responder(self, lido, contexto):
        try:
            mensagem = ler_mensagem(lido["mensagem"], lido["dados"])
            cabecalho, codigo, motivo, negocio = atender(mensagem, lido["regra"], contexto)
        except Recusa as recusa:
            cabecalho = recusa.cabecalho
            codigo, motivo, negocio = "400", str(recusa), ""
        texto = crosstalk(cabecalho, codigo, motivo, negocio)
        corpo = ('<SendResponse xmlns="%s"><SendResult>%s</SendResult></SendResponse>'
                 % (TEMPURI, escape(texto)))
        resultado = re.search(r"<codigo>([^<]*)</codigo>", negocio)
        return Resposta(corpo=envelope(corpo, lido["versao"]),
                        documento=(lido["mensagem"] + lido["dados"]).encode("utf-8"),
                        campos=dict(ProcessCode=cabecalho.get("ProcessCode"), ResponseCode=codigo,
                                    codigo=resultado.group(1) if resultado else None))


def _xml(texto, nome):
    try:
        return ler_xml(re.sub(r"^\s*<\?xml[^>]*\?>", "", texto.lstrip("\ufeff")))
    except (ValueError, SyntaxError) as erro:
        raise Recusa("%s nao e XML bem formado: %s" % (nome, erro))


def ler_mensagem(texto, dados):
    raiz = _xml(texto, "message")
    if raiz.tag != "{%s}CrossTalk_Message" % NDD:
        raise Recusa("message deve conter CrossTalk_Message no namespace %s" % NDD)
    elemento = raiz.find("{%s}CrossTalk_Header" % NDD)
    if elemento is None:
        raise Recusa("CrossTalk_Header ausente")
    cabecalho = {local(filho.tag): (filho.text or "").strip() for filho in elemento}
    chave = tuple(cabecalho.get(nome, "") for nome in ("ProcessCode", "MessageType", "ExchangePattern"))
    try:
        if chave not in OPERACOES:
            raise Recusa("ProcessCode/MessageType/ExchangePattern %s nao atendidos" % "/".join(chave))
        if not re.fullmatch(r"\d{14}", cabecalho.get("EnterpriseId", "")):
            raise Recusa("EnterpriseId deve ser o CNPJ com 14 digitos")
        if not cabecalho.get("Token"):
            raise Recusa("Token ausente")
        operacao, raiz_negocio = OPERACOES[chave]
        mensagem = Mensagem(cabecalho, operacao)
        if raiz_negocio:
            if not dados.strip():
                raise Recusa("rawData sem o documento %s" % raiz_negocio)
            mensagem.negocio = _xml(dados, "rawData")
            if mensagem.negocio.tag != "{%s}%s" % (NDD, raiz_negocio):
                raise Recusa("rawData deve conter %s no namespace %s" % (raiz_negocio, NDD))
        return mensagem
    except Recusa as recusa:
        raise Recusa(str(recusa), cabecalho)


def atender(mensagem, regra, contexto):
    """(header fields, ResponseCode, its text, business answer) of a well-formed message."""
    cabecalho = dict(mensagem.cabecalho)
    memoria = contexto.memoria
    guid = cabecalho.get("GUID", "")
    with memoria.trava:
        guids = memoria.de("ndd")  # GUID -> business answer of the request sent under it, or None
        if mensagem.operacao == "guid":
            cabecalho["GUID"] = str(uuid.uuid4())
            guids[cabecalho["GUID"]] = None
            return cabecalho, "200", "GUID gerado", ""
        if guid not in guids:
            raise Recusa("GUID %s nao foi gerado por este servico" % (guid or "ausente"), cabecalho)
        if mensagem.operacao == "consulta":
            resultado = guids[guid]
            if resultado is None or (regra or {}).get("pendente"):
                return cabecalho, "200", "Mensagem em processamento", ""
            return cabecalho, "200", "Mensagem processada", resultado
        # The outcome is decided when the request arrives, as the service does.
        guids[guid] = resultado = negocio(mensagem, regra, contexto)
    if mensagem.operacao == "pagamento":
        return cabecalho, "200", "Mensagem processada", resultado
    return cabecalho, "200", "Mensagem recebida", ""


def negocio(mensagem, regra, contexto):
    """The business answer to a request, by its operation."""
    operacao = mensagem.operacao
    raiz = {"ciot": "loteOT_retorno", "vale_pedagio": "retOperacaoValePedagio",
            "rota": "consultarRoteirizador_retorno", "pagamento": "pagamentoImediatoOT_retorno",
            "cancelamento": "cancelarOT_retorno"}[operacao]
    if regra and regra.get("codigo"):
        conteudo = els(("codigo", regra["codigo"]), ("mensagem", regra.get("mensagem")))
    else:
        protocolo = contexto.memoria.numero("43")
        conteudo = {
            "ciot": lambda: _ciot(mensagem, contexto, protocolo),
            "vale_pedagio": lambda: els(("codigo", "100"), ("mensagem", "Operacao de vale-pedagio registrada"),
                                        ("protocolo", protocolo), ("dataHora", agora())),
            "rota": lambda: els(("codigo", "100"), ("mensagem", "Rota calculada"), ("totalKm", "128.40"),
                                ("quantidadePracas", "2"), ("valorTotalPedagio", "23.80")),
            "pagamento": lambda: els(("codigo", "100"), ("mensagem", "Pagamento de parcela registrado"),
                                     ("protocolo", protocolo), ("dataHora", agora())),
            "cancelamento": lambda: els(("codigo", "100"), ("mensagem", "Operacao de transporte cancelada"),
                                        ("protocolo", protocolo), ("dataHora", agora())),
        }[operacao]()
    return '<%s versao="%s">%s</%s>' % (raiz, VERSAO, conteudo, raiz)


def _ciot(mensagem, contexto, protocolo):
    """One registered operation: its number and series, and the CIOT that authorises it."""
    serie = next((e.text for e in mensagem.negocio.iter() if local(e.tag) == "serie"), None) or "1"
    serie = serie if re.fullmatch(r"\d{1,3}", serie.strip()) else "1"
    sequencia = contexto.memoria.proximo()
    ide = els(("cnpj", mensagem.cabecalho["EnterpriseId"]), ("serie", serie.strip()),
              ("numero", str(sequencia)), ("dataEmissao", agora()))
    autorizacao = ("<ciot>" + els(("numero", "%012d" % (900000000000 + sequencia)),
                                  ("ciotCodVerificador", "%04d" % (sequencia % 10000))) + "</ciot>" +
                   els(("protocolo", protocolo), ("dataHora", agora())))
    return ("<operacoes><OT><infOT><ide>%s</ide><autorizacao>%s</autorizacao></infOT></OT></operacoes>"
            % (ide, autorizacao) +
            els(("codigo", "100"), ("mensagem", "Operacao de transporte registrada")))


def crosstalk(cabecalho, codigo, motivo, negocio):
    """The CrossTalk answer: the request's header fields echoed, the response code, the body."""
    campos = [(nome, cabecalho.get(nome) or None)
              for nome in ("ProcessCode", "MessageType", "ExchangePattern", "SourceId", "GUID")]
    return ('<CrossTalk_Message xmlns:xsd="%s" xmlns:xsi="%s" xmlns="%s"><CrossTalk_Header>%s</CrossTalk_Header>'
            '<CrossTalk_Body><CrossTalk_Version_Body versao="%s"/>%s</CrossTalk_Body></CrossTalk_Message>'
            % (XSD, XSI, NDD, els(*campos, ("DateTime", agora()),
                                  ("EnterpriseId", cabecalho.get("EnterpriseId") or None),
                                  ("ResponseCode", codigo), ("ResponseCodeMessage", motivo)),
               VERSAO, negocio))


ROTAS = [("/wsagente/ExchangeMessage.asmx", Servico())]
