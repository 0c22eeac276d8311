"""NF-e and NFC-e services of every authoriser's family of paths (the states that have their own,
SVRS, SVAN and the contingency ones): status, authorization, receipt, inutilização, consultation
and events; the national event service, on the path of SVAN's and SVC-AN's event service, told
apart by its action; the registry query of every state that has one."""

import re
import xml.etree.ElementTree as ET

from . import sefaz_respostas as respostas
from .comum import agora, els, recortar
from .memoria import Lote
from .sefaz import (CHAVES_AUTORIZACAO, CHAVES_EVENTO, CHAVES_RESPOSTA, FAMILIAS, NS, UF_CODIGO,
                    Rejeicao, digito_chave, filho, rejeicao_schema, servico, texto,
                    uf_do_pedido)


def _nfe(nome, servico_wsdl, operacao, raiz, construtor, cabecalho="proibido", versao="4.00",
         **extra):
    extra.setdefault("resultado", "nfeResultMsg")
    return servico(nome, "nfe", servico_wsdl, operacao, construtor, versao_dados=versao,
                   cabecalho=cabecalho, conteudo="xml", raizes=(raiz,), **extra)


# --- NF-e authorization -------------------------------------------------------------------------

def autorizacao(pedido, rej, contexto):
    raiz = pedido.raiz
    memoria = contexto.memoria
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
        for dados in documentos:
            conferir_emissao(pedido.servico, dados)
        protocolos = [respostas.avaliar_documento(pedido, "nfe", dados, contexto)
                      for dados in documentos]
        pedido.tp_amb = protocolos[0].tp_amb
        c_uf = uf_do_pedido(pedido, texto(raiz, "NFe/infNFe/ide/cUF", "nfe"))
        if ind_sinc == "1" and not (pedido.regra or {}).get("assincrono"):
            cstat, motivo = "104", "Lote processado"
        else:
            # Asynchronous: the outcome waits for the receipt query.  A synchronous lot
            # that takes too long is also turned into a receipt, as the services do.
            recibo = memoria.recibo(c_uf)
            with memoria.trava:
                memoria.lotes[recibo] = Lote(recibo, pedido.tp_amb, c_uf, agora(), protocolos)
            cstat, motivo = "103", "Lote recebido com sucesso"
    else:
        cstat, motivo = rej
    corpo = ""
    if (pedido.regra or {}).get("sem_protocolo"):
        pass  # the outcome is recorded; only the answer lost what follows its code
    elif recibo:
        corpo = "<infRec>" + els(("nRec", recibo), ("tMed", "1")) + "</infRec>"
    elif cstat == "104":
        corpo = protocolos[0].xml()
    return ('<retEnviNFe xmlns="%s" versao="4.00">' % NS["nfe"] +
            els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                ("cStat", cstat), ("xMotivo", motivo), ("cUF", c_uf), ("dhRecbto", agora())) +
            corpo + "</retEnviNFe>")


def conferir_emissao(servico, dados):
    """The emission form against the service, and the key against the ide it is made of: its
    35th digit is tpEmis, its last one cDV and the check digit of the others.  A contingency
    form carries its entry into contingency (dhCont and xJust)."""
    try:
        ide = ET.fromstring(dados).find("{%s}infNFe/{%s}ide" % (NS["nfe"], NS["nfe"]))
        ident = ET.fromstring(dados).find("{%s}infNFe" % NS["nfe"]).get("Id", "")
    except (ET.ParseError, AttributeError):
        return  # the document's own reading refuses it
    tp_emis = (texto(ide, "tpEmis", "nfe") or "") if ide is not None else ""
    if not tp_emis:
        return
    if servico.emissoes is not None and tp_emis not in servico.emissoes:
        raise Rejeicao(570, "Rejeicao: Tipo de Emissao %s nao aceito por este autorizador" % tp_emis)
    if servico.emissoes is None and tp_emis in ("6", "7"):
        raise Rejeicao(570, "Rejeicao: Tipo de Emissao %s so e valido nas contingencias SVC" % tp_emis)
    chave = ident[3:]
    if len(chave) == 44 and (chave[34] != tp_emis or chave[43] != (texto(ide, "cDV", "nfe") or "")
                             or digito_chave(chave[:43]) != chave[43]):
        raise Rejeicao(502, "Rejeicao: Erro na Chave de Acesso - Campo Id nao corresponde a "
                            "concatenacao dos campos correspondentes")
    if tp_emis != "1" and not (texto(ide, "dhCont", "nfe") and texto(ide, "xJust", "nfe")):
        raise Rejeicao(556, "Rejeicao: Falta a data e hora ou a justificativa de entrada em "
                            "contingencia")


def ret_autorizacao(pedido, rej, contexto):
    memoria = contexto.memoria
    n_rec = texto(pedido.raiz, "nRec", "nfe") or ""
    if rej is None and not re.fullmatch(r"\d{15}", n_rec):
        rej = ("215", "Rejeicao: Falha no schema XML")
    lote = None
    if rej is None:
        with memoria.trava:
            lote = memoria.lotes.get(n_rec)
            if lote is not None:
                lote.consultas += 1
    c_uf = lote.c_uf if lote else uf_do_pedido(pedido, n_rec[:2])
    protocolos = ""
    desvio = pedido.desvio() if lote else None
    regra = pedido.regra or {}
    if rej:
        cstat, motivo = rej
    elif lote is None:
        cstat, motivo = "106", "Lote nao localizado"
    elif desvio:
        cstat, motivo = desvio
    elif lote.consultas <= regra.get("em_processamento", 1):
        cstat, motivo = "105", "Lote em processamento"
    else:
        # The receipt reports the outcome decided when the lot arrived.
        cstat, motivo = "104", "Lote processado"
        if not regra.get("sem_protocolo"):
            protocolos = "".join(p.xml() for p in lote.protocolos)
    return ('<retConsReciNFe xmlns="%s" versao="4.00">' % NS["nfe"] +
            els(("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                ("nRec", n_rec if re.fullmatch(r"\d{15}", n_rec) else "0" * 15),
                ("cStat", cstat), ("xMotivo", motivo), ("cUF", c_uf),
                ("dhRecbto", lote.dh_recbto if lote else agora())) +
            protocolos + "</retConsReciNFe>")


# --- events (state and national) -------------------------------------------------------------

def evento(pedido, rej, contexto):
    raiz = pedido.raiz
    id_lote = texto(raiz, "idLote", "nfe") if raiz is not None else None
    org = uf_do_pedido(pedido)
    retornos = ""
    if rej is None:
        eventos = recortar(pedido.documento, "evento")
        if not eventos or len(eventos) > 20 or not re.fullmatch(r"\d{1,15}", id_lote or ""):
            raise rejeicao_schema(pedido.servico)
        for dados in eventos:
            retorno, pedido.tp_amb, org_evento = respostas.registrar_evento(pedido, "nfe", dados,
                                                                            contexto)
            org = org_evento or org
            retornos += retorno
        cstat, motivo = "128", "Lote de Evento Processado"
    else:
        cstat, motivo = rej
    return ('<retEnvEvento xmlns="%s" versao="1.00">' % NS["nfe"] +
            els(("idLote", id_lote if re.fullmatch(r"\d{1,15}", id_lote or "") else "0"),
                ("tpAmb", pedido.tp_amb), ("verAplic", FAMILIAS["nfe"]["ver_aplic"]),
                ("cOrgao", org), ("cStat", cstat), ("xMotivo", motivo)) +
            retornos + "</retEnvEvento>")


# --- registry -------------------------------------------------------------------------------

def cadastro(pedido, rej, _contexto):
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
    if rej is None:
        rej = pedido.desvio()
    documento = documento or ("CNPJ", "00000000000000")
    # An inscrição names one registration; a CNPJ or CPF may hold several (one per
    # establishment), as many as the scenario in force says.
    ocorrencias = 1 if documento[0] == "IE" else (pedido.regra or {}).get("ocorrencias", 1)
    cstat, motivo = rej or (("111", "Consulta cadastro com uma ocorrencia") if ocorrencias == 1 else
                            ("112", "Consulta cadastro com mais de uma ocorrencia"))
    registros = ""
    if cstat in ("111", "112"):
        registros = "".join(inscricao(documento, uf, ordem) for ordem in range(ocorrencias))
    return ('<retConsCad xmlns="%s" versao="2.00"><infCons>' % NS["nfe"] +
            els(("verAplic", "SIM-CAD-2.00"), ("cStat", cstat), ("xMotivo", motivo),
                ("UF", uf if uf in UF_CODIGO else "SU"), documento, ("dhCons", agora()),
                ("cUF", UF_CODIGO.get(uf, uf_do_pedido(pedido)))) +
            registros + "</infCons></retConsCad>")


def inscricao(documento, uf, ordem):
    """One infCad of the document asked: the `ordem`-th establishment, with its own inscrição
    and address."""
    digitos = re.sub(r"\D", "", documento[1])
    if documento[0] == "IE":
        # The registry names the holder of every inscrição: a CNPJ made from it, with its own
        # check digits (the weights of the access key's digit are the CNPJ's).
        base = (digitos[:8] or "0").ljust(8, "0") + "0001"
        base += digito_chave(base)
        ie, identificacao = documento[1], [("CNPJ", base + digito_chave(base))]
    else:
        ie, identificacao = (digitos[:9] or "0").ljust(9, "0") + str(ordem), [documento]
    c_uf = UF_CODIGO.get(uf, "43")
    nome = "CONTRIBUINTE SIMULADO %s LTDA" % documento[1]
    endereco = els(("xLgr", "RUA DO SIMULADOR"), ("nro", str(100 + ordem)), ("xBairro", "CENTRO"),
                   ("cMun", c_uf + "00001"), ("xMun", "MUNICIPIO SIMULADO"), ("CEP", "90000000"))
    return ("<infCad>" +
            els(("IE", ie), *identificacao, ("UF", uf if uf in UF_CODIGO and uf != "SU" else "RS"),
                ("cSit", "1"), ("indCredNFe", "1"), ("indCredCTe", "4"), ("xNome", nome),
                ("xFant", "ESTABELECIMENTO %d" % (ordem + 1)),
                ("xRegApur", "NORMAL - REGIME PERIODICO DE APURACAO"),
                ("CNAE", "4751201"), ("dIniAtiv", "2010-01-04"), ("dUltSit", "2010-01-04")) +
            "<ender>" + endereco + "</ender></infCad>")


# --- services and paths -----------------------------------------------------------------------

STATUS = _nfe("nfe_status", "NFeStatusServico4", "nfeStatusServicoNF", "consStatServ",
              respostas.status)
AUTORIZACAO = _nfe("nfe_autorizacao", "NFeAutorizacao4", "nfeAutorizacaoLote", "enviNFe",
                   autorizacao, chaves_cenario=CHAVES_AUTORIZACAO | {"assincrono"})
# em_processamento: how many queries of a receipt answer 105 before its outcome (1 by default).
RET_AUTORIZACAO = _nfe("nfe_ret_autorizacao", "NFeRetAutorizacao4", "nfeRetAutorizacaoLote",
                       "consReciNFe", ret_autorizacao,
                       chaves_cenario=CHAVES_RESPOSTA | {"em_processamento", "sem_protocolo"})
INUTILIZACAO = _nfe("nfe_inutilizacao", "NFeInutilizacao4", "nfeInutilizacaoNF", "inutNFe",
                    respostas.inutilizacao)
CONSULTA = _nfe("nfe_consulta", "NFeConsultaProtocolo4", "nfeConsultaNF", "consSitNFe",
                respostas.consulta)
# The state event services take a header or none: the event layout is 1.00 inside a 4.00
# service, and the services ignore a header they do not use.
EVENTO = _nfe("nfe_evento", "NFeRecepcaoEvento4", "nfeRecepcaoEvento", "envEvento", evento,
              cabecalho="opcional", versao="1.00", chaves_cenario=CHAVES_EVENTO)
EVENTO_NACIONAL = _nfe("nfe_evento", "NFeRecepcaoEvento4", "nfeRecepcaoEventoNF", "envEvento",
                       evento, cabecalho="obrigatorio", versao="1.00", chaves_cenario=CHAVES_EVENTO)
# ocorrencias: how many establishments a CNPJ or CPF has in the registry (1 by default).
CADASTRO = _nfe("nfe_cadastro", "CadConsultaCadastro4", "consultaCadastro", "ConsCad", cadastro,
                cabecalho="obrigatorio", versao="2.00",
                chaves_cenario=CHAVES_RESPOSTA | {"ocorrencias"})

# SVAN (normal emission of the states it serves, EPEC's later transmission) and the national
# environment's contingency authoriser SVC-AN (tpEmis 6) publish the same paths on their own
# hosts; here, on one host, one service takes the forms of both.  The SVRS paths of the first
# family serve SVRS's contingency (SVC-RS, tpEmis 7) as well.
AUTORIZACAO_RAIZ = _nfe("nfe_autorizacao", "NFeAutorizacao4", "nfeAutorizacaoLote", "enviNFe", autorizacao,
                        chaves_cenario=CHAVES_AUTORIZACAO | {"assincrono"}, emissoes=("1", "4", "6"))
AUTORIZACAO_SVRS = _nfe("nfe_autorizacao", "NFeAutorizacao4", "nfeAutorizacaoLote", "enviNFe",
                        autorizacao, chaves_cenario=CHAVES_AUTORIZACAO | {"assincrono"},
                        emissoes=("1", "2", "3", "4", "5", "7", "9"))

# One family of paths per row, in the order of SERVICOS.
SERVICOS = (STATUS, AUTORIZACAO, RET_AUTORIZACAO, INUTILIZACAO, CONSULTA, EVENTO)
CAMINHOS = (
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
) + tuple(
    # The services named as most states publish them, under each one's prefix (status,
    # reception, receipt, inutilização, consultation, event).
    tuple(prefixo + nome + sufixo for nome in ("NFeStatusServico4", "NFeAutorizacao4",
                                               "NFeRetAutorizacao4", "NFeInutilizacao4",
                                               "NFeConsultaProtocolo4", "NFeRecepcaoEvento4"))
    for prefixo, sufixo in (
        ("/nfce/", ""),                    # NFC-e of PR
        ("/nfce/services/", ""),           # NFC-e of MG
        ("/nfe4/services/", ""),           # CE
        ("/nfce4/services/", ""),          # NFC-e of CE
        ("/nfe/services/", ""),            # GO
        ("/ws/", ""),                      # MS
        ("/nfe-service/services/", ""),    # PE
        ("/ws/", ".asmx"),                 # SP (NF-e and NFC-e)
    )
) + tuple(
    tuple(prefixo + nome for nome in ("NfeStatusServico4", "NfeAutorizacao4", "NfeRetAutorizacao4",
                                      "NfeInutilizacao4", "NfeConsulta4", "RecepcaoEvento4"))
    for prefixo in ("/services2/services/",          # AM
                    "/nfce-services/services/",      # NFC-e of AM
                    "/nfcews/services/")             # NFC-e of MT
) + tuple(
    # One folder per service: BA under /webservices, SVAN and SVC-AN at the root.
    tuple(prefixo + "/%s/%s.asmx" % (nome, nome)
          for nome in ("NFeStatusServico4", "NFeAutorizacao4", "NFeRetAutorizacao4",
                       "NFeInutilizacao4", "NFeConsultaProtocolo4", "NFeRecepcaoEvento4"))
    for prefixo in ("/webservices", "")
)

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



def _autorizacao_da_familia(caminhos):
    if caminhos is CAMINHOS[0]:
        return AUTORIZACAO_SVRS
    return AUTORIZACAO_RAIZ if caminhos[1] == "/NFeAutorizacao4/NFeAutorizacao4.asmx" else AUTORIZACAO


ROTAS = ([(caminho, _autorizacao_da_familia(caminhos) if servico is AUTORIZACAO else servico)
          for caminhos in CAMINHOS for caminho, servico in zip(caminhos, SERVICOS)] +
         [("/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx", EVENTO_NACIONAL)] +
         [(caminho, CADASTRO) for caminho in CAMINHOS_CADASTRO])
