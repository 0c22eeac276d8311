"""NDD Cargo exchange service: one SOAP operation, Send, carrying a CrossTalk message (a header
naming the process, then the business request as raw data).

The exchange is asynchronous: a GUID is asked for (process 1004), a request is sent under it,
and its result is fetched with the consultation (process 1000, exchange pattern 8).  A request
sent with pattern 7 (operation, toll voucher, route, cancellation) is still "in processing" at
the first consultation of its GUID and has its result at the next; a payment (process 2005,
pattern 1) is answered at once and can be fetched as well.  What is checked: the SOAP action, the
binding (a SOAP 1.2 envelope under the SOAP 1.2 binding), the envelope and the Send element with
its message; the CrossTalk header (known process/type/pattern, CNPJ, token, a GUID handed out
here where one is needed); the root of the business request in raw data and its signatures, with
`xmlsec1`, in the raw data as it arrived (each OT of a lot), the signed group's Id being the
message's GUID.  The result query of a GUID that never received a request is refused (400), as
for a GUID never handed out.  The operations registered in the run are remembered: a payment or cancellation
of another CIOT, a second cancellation, a payment after a cancellation are refused, a second
payment of one instalment is answered 205.  Anything wrong in the message itself is answered
with ResponseCode 400 and its reason."""

import re
import uuid
from dataclasses import dataclass
from xml.sax.saxutils import escape

from .comum import DSIG, TEMPURI, XSD, XSI, FalhaSoap, agora, els, local
from .servico import Resposta
from .soap import elemento_unico, envelope, ler_envelope, ler_xml

NDD = "http://www.nddigital.com.br/nddcargo"
VERSAO = "4.2.11.0"
# Result queries of a request sent with pattern 7 that still find it "in processing".
CONSULTAS_EM_PROCESSAMENTO = 1

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

# Rejections of a signature check, as the business answer gives them.
REJEICOES_ASSINATURA = {
    "malformado": ("243", "Rejeicao: XML Mal Formado"),
    "ausente": ("225", "Rejeicao: Falha no Schema XML (assinatura ausente)"),
    "referencia": ("298", "Rejeicao: Assinatura difere do padrao do Sistema"),
    "guid": ("299", "Rejeicao: Id do grupo assinado difere do GUID da mensagem"),
    "cadeia": ("293", "Rejeicao: Certificado Assinatura - erro Cadeia de Certificacao"),
    "calculo": ("297", "Rejeicao: Assinatura difere do calculado"),
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
    negocio: object = None   # the business request, when it has one (parsed)
    bruto: bytes = b""       # the business request as it arrived, for its signatures


@dataclass
class Troca:
    """What a GUID handed out here has led to."""
    resultado: str = None    # the business answer of the request sent under it
    espera: int = 0          # result queries still answered "in processing"


@dataclass(frozen=True, eq=False)
class Servico:
    nome: str = "ndd_cargo"
    acao: str = TEMPURI + "Send"
    chaves_cenario: frozenset = frozenset({"codigo", "mensagem", "pendente"})

    def ler(self, pedido):
        versao, _cabecalho, corpo = ler_envelope(pedido.bruto, ("1.2", "1.1"))
        if versao != pedido.soap:
            raise FalhaSoap("Possible SOAP version mismatch: envelope SOAP %s enviado com o binding HTTP "
                            "do SOAP %s" % (versao, pedido.soap))
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


def _sem_declaracao(texto):
    return re.sub(r"^\s*<\?xml[^>]*\?>", "", texto.lstrip("\ufeff"))


def _xml(texto, nome):
    try:
        return ler_xml(_sem_declaracao(texto))
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
            mensagem.bruto = _sem_declaracao(dados).encode("utf-8")
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
        trocas = memoria.de("ndd")  # GUID -> Troca
        if mensagem.operacao == "guid":
            cabecalho["GUID"] = str(uuid.uuid4())
            trocas[cabecalho["GUID"]] = Troca()
            return cabecalho, "200", "GUID gerado", ""
        if guid not in trocas:
            raise Recusa("GUID %s nao foi gerado por este servico" % (guid or "ausente"), cabecalho)
        troca = trocas[guid]
        if mensagem.operacao == "consulta":
            if troca.resultado is None:
                # A GUID handed out whose request never arrived is unknown to the exchange.
                raise Recusa("GUID %s nao recebeu pedido" % guid, cabecalho)
            if troca.espera > 0 or (regra or {}).get("pendente"):
                troca.espera = max(0, troca.espera - 1)
                return cabecalho, "200", "Mensagem em processamento", ""
            return cabecalho, "200", "Mensagem processada", troca.resultado
        if troca.resultado is not None:
            raise Recusa("GUID %s ja foi usado por outro pedido" % guid, cabecalho)
    # The outcome is decided when the request arrives, as the service does; the signatures are
    # checked outside the lock (xmlsec1 takes its time).
    resultado = negocio(mensagem, regra, contexto)
    with memoria.trava:
        troca.resultado = resultado
        troca.espera = 0 if mensagem.operacao == "pagamento" else CONSULTAS_EM_PROCESSAMENTO
    if mensagem.operacao == "pagamento":
        return cabecalho, "200", "Mensagem processada", resultado
    return cabecalho, "200", "Mensagem recebida", ""


def negocio(mensagem, regra, contexto):
    """The business answer to a request, by its operation."""
    operacao = mensagem.operacao
    raiz = {"ciot": "loteOT_retorno", "vale_pedagio": "retOperacaoValePedagio",
            "rota": "consultarRoteirizador_retorno", "pagamento": "pagamentoImediatoOT_retorno",
            "cancelamento": "cancelarOT_retorno"}[operacao]
    rejeicao = None if regra and regra.get("codigo") else assinaturas(mensagem, contexto)
    if regra and regra.get("codigo"):
        conteudo = els(("codigo", regra["codigo"]), ("mensagem", regra.get("mensagem")))
    elif rejeicao:
        conteudo = els(("codigo", rejeicao[0]), ("mensagem", rejeicao[1]))
    else:
        protocolo = contexto.memoria.numero("43")
        conteudo = {
            "ciot": lambda: _ciot(mensagem, contexto, protocolo),
            "vale_pedagio": lambda: els(("codigo", "100"), ("mensagem", "Operacao de vale-pedagio registrada"),
                                        ("protocolo", protocolo), ("dataHora", agora())),
            "rota": lambda: els(("codigo", "100"), ("mensagem", "Rota calculada"), ("totalKm", "128.40"),
                                ("quantidadePracas", "2"), ("valorTotalPedagio", "23.80")),
            "pagamento": lambda: _pagamento(mensagem, contexto, protocolo),
            "cancelamento": lambda: _cancelamento(mensagem, contexto, protocolo),
        }[operacao]()
    return '<%s versao="%s">%s</%s>' % (raiz, VERSAO, conteudo, raiz)


def assinaturas(mensagem, contexto):
    """None when every signature of the business request holds, else (codigo, mensagem). A lot
    carries one per OT, the other requests one beside their group; each must sign the group whose
    Id is the message's GUID."""
    bruto = mensagem.bruto
    assinaturas = list(mensagem.negocio.iter("{%s}Signature" % DSIG))
    esperadas = len(list(mensagem.negocio.iter("{%s}OT" % NDD))) if mensagem.operacao == "ciot" else 1
    if not assinaturas or len(assinaturas) < esperadas:
        return REJEICOES_ASSINATURA["ausente"]
    ids = {e.get("Id"): e for e in mensagem.negocio.iter() if e.get("Id") is not None}
    verificador = contexto.verificador
    for posicao, assinatura in enumerate(assinaturas, 1):
        referencia = assinatura.find(".//{%s}Reference" % DSIG)
        uri = referencia.get("URI") if referencia is not None else None
        if not uri or not uri.startswith("#") or uri[1:] not in ids:
            return REJEICOES_ASSINATURA["referencia"]
        if uri[1:] != mensagem.cabecalho.get("GUID"):
            return REJEICOES_ASSINATURA["guid"]
        argumentos = ["--id-attr:Id", local(ids[uri[1:]].tag), "--node-xpath",
                      "(//*[local-name()='Signature' and namespace-uri()='%s'])[%d]" % (DSIG, posicao)]
        if verificador.rodar(argumentos + ["--trusted-pem", verificador.ca], bruto):
            continue
        if verificador.rodar(argumentos + ["--insecure"], bruto):
            return REJEICOES_ASSINATURA["cadeia"]
        return REJEICOES_ASSINATURA["calculo"]
    return None


def _texto(elemento, caminho):
    passos = "/".join("{%s}%s" % (NDD, passo) for passo in caminho.split("/"))
    return (elemento.findtext(".//" + passos) or "").strip()


def _ciot(mensagem, contexto, protocolo):
    """One registered operation: its number and series, and the CIOT that authorises it."""
    serie = next((e.text for e in mensagem.negocio.iter() if local(e.tag) == "serie"), None) or "1"
    serie = serie if re.fullmatch(r"\d{1,3}", serie.strip()) else "1"
    sequencia = contexto.memoria.proximo()
    numero, verificador = "%012d" % (900000000000 + sequencia), "%04d" % (sequencia % 10000)
    with contexto.memoria.trava:
        contexto.memoria.de("ndd_ciot")[numero] = dict(verificador=verificador, cancelado=False, parcelas=set())
    ide = els(("cnpj", mensagem.cabecalho["EnterpriseId"]), ("serie", serie.strip()),
              ("numero", str(sequencia)), ("dataEmissao", agora()))
    autorizacao = ("<ciot>" + els(("numero", numero), ("ciotCodVerificador", verificador)) + "</ciot>" +
                   els(("protocolo", protocolo), ("dataHora", agora())))
    return ("<operacoes><OT><infOT><ide>%s</ide><autorizacao>%s</autorizacao></infOT></OT></operacoes>"
            % (ide, autorizacao) +
            els(("codigo", "100"), ("mensagem", "Operacao de transporte registrada")))


def _operacao_do_pedido(mensagem, contexto):
    """The registered operation a payment or cancellation names, or the refusal (codigo, mensagem)."""
    numero = _texto(mensagem.negocio, "autorizacao/ciot/numero")
    verificador = _texto(mensagem.negocio, "autorizacao/ciot/ciotCodVerificador")
    operacao = contexto.memoria.de("ndd_ciot").get(numero)
    if operacao is None or operacao["verificador"] != verificador:
        return None, ("302", "Rejeicao: CIOT %s nao encontrado para o codigo verificador %s" % (numero, verificador))
    if operacao["cancelado"]:
        return None, ("303", "Rejeicao: Operacao de transporte cancelada (CIOT %s)" % numero)
    return operacao, None


def _pagamento(mensagem, contexto, protocolo):
    with contexto.memoria.trava:
        operacao, recusa = _operacao_do_pedido(mensagem, contexto)
        if recusa:
            return els(("codigo", recusa[0]), ("mensagem", recusa[1]))
        parcela = _texto(mensagem.negocio, "nomeParcela")
        if parcela in operacao["parcelas"]:
            return els(("codigo", "205"), ("mensagem", "Pagamento da parcela %s ja efetuado" % parcela))
        operacao["parcelas"].add(parcela)
    return els(("codigo", "100"), ("mensagem", "Pagamento de parcela registrado"),
               ("protocolo", protocolo), ("dataHora", agora()))


def _cancelamento(mensagem, contexto, protocolo):
    with contexto.memoria.trava:
        operacao, recusa = _operacao_do_pedido(mensagem, contexto)
        if recusa:
            return els(("codigo", recusa[0]), ("mensagem", recusa[1]))
        operacao["cancelado"] = True
    return els(("codigo", "100"), ("mensagem", "Operacao de transporte cancelada"),
               ("protocolo", protocolo), ("dataHora", agora()))


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
