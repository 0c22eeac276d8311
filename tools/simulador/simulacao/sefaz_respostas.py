"""Answers that the NF-e, CT-e and MDF-e services build alike: status, the outcome of one signed
document, synchronous authorization, inutilização, consultation of a key and events.

Every builder takes the request, the rejection found before it ran (cStat, xMotivo) or None, and
the run's context; it returns the answer element as text."""

import re
import xml.etree.ElementTree as ET
from dataclasses import replace

from .comum import agora, els, local, ns_de
from .memoria import Documento, Faixa
from .sefaz import (CHAVE, FAMILIAS, NS, Protocolo, Rejeicao, assinado_pela_autoridade, filho,
                    outra_chave, rejeicao_schema, texto, uf_do_pedido, verificar_assinatura)


# --- status -----------------------------------------------------------------------------------

def status(pedido, rej, _contexto):
    familia = pedido.familia
    raiz_resposta = {"nfe": "retConsStatServ", "cte": "retConsStatServCTe",
                     "mdfe": "retConsStatServMDFe"}[familia]
    c_uf = uf_do_pedido(pedido, texto(pedido.raiz, "cUF", familia))
    if rej is None:
        rej = pedido.desvio()
    cstat, motivo = rej or ("107", "Servico em Operacao")
    f = FAMILIAS[familia]
    return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
            els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                ("xMotivo", motivo), ("cUF", c_uf), ("dhRecbto", agora()),
                ("tMed", "1" if cstat == "107" else None)) +
            "</%s>" % raiz_resposta)


# --- the outcome of one signed document ---------------------------------------------------------

def avaliar_documento(pedido, familia, dados, contexto):
    """Signature, duplicates and scenario for one signed document; records the outcome.
    Returns the Protocolo; a document that cannot be read raises Rejeicao."""
    f = FAMILIAS[familia]
    memoria = contexto.memoria
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
    erro, digest = verificar_assinatura(contexto, dados, familia, f["inf"])
    if erro and erro[0] in ("215", "225"):
        raise Rejeicao(*erro)
    protocolo = Protocolo(familia, chave, tp_amb, "", "", agora(), dig_val=digest,
                          assinante=contexto.autoridade)
    # Look-up and record under one lock: two lots with the same key at once get one
    # authorization and one duplicate, as at the authority.
    with memoria.trava:
        anterior = memoria.documentos.get(chave)
        if erro:
            protocolo.cstat, protocolo.motivo = erro
        elif anterior is not None:
            protocolo.cstat, protocolo.motivo = duplicidade(anterior)
        elif desvio := pedido.desvio(outra_chave=lambda: outra_chave(chave),
                                     nprot=lambda: memoria.numero(c_uf), agora=agora):
            # A scenario's outcome: a rejection carries no protocol; a denial does, and the
            # key is then known to the authority as denied.
            if pedido.regra.get("protocolo"):
                protocolo.n_prot = memoria.numero(c_uf)
                memoria.documentos[chave] = Documento(
                    protocolo, dados, situacao=pedido.regra.get("situacao", "autorizado"))
            protocolo.cstat, protocolo.motivo = desvio
        else:
            protocolo.n_prot = memoria.numero(c_uf)
            # Some authorities hand out longer protocol numbers than the layout's 15 digits.
            extra = (pedido.regra or {}).get("digitos_protocolo", 15) - 15
            protocolo.n_prot += "".join(str(i % 10) for i in range(1, extra + 1))
            protocolo.cstat = "100"
            protocolo.motivo = "Autorizado o uso %s %s" % (f["artigo"], f["sigla"])
            memoria.documentos[chave] = Documento(protocolo, dados)
    return protocolo


def duplicidade(anterior):
    p = anterior.protocolo
    sigla = FAMILIAS[p.familia]["sigla"]
    if anterior.situacao == "denegado":
        return ("205", "Rejeicao: %s esta denegada na base de dados da SEFAZ [nProt:%s][dhDeneg:%s]"
                % (sigla, p.n_prot, p.dh_recbto))
    return "204", "Rejeicao: Duplicidade de %s [nProt:%s][dhAut:%s]" % (sigla, p.n_prot, p.dh_recbto)


# --- CT-e and MDF-e authorization (synchronous) -------------------------------------------------

def autorizacao_sincrona(pedido, rej, contexto):
    familia = pedido.familia
    f = FAMILIAS[familia]
    simplificado = pedido.servico.nome == "cte_simplificado"
    raiz_resposta = "retCTeSimp" if simplificado else ("retCTe" if familia == "cte" else "retMDFe")
    protocolo = None
    if rej is None:
        protocolo = avaliar_documento(pedido, familia, pedido.documento, contexto)
        cstat, motivo = protocolo.cstat, protocolo.motivo
        pedido.tp_amb = protocolo.tp_amb
        c_uf = uf_do_pedido(pedido, texto(pedido.raiz, f["inf"] + "/ide/cUF", familia))
    else:
        cstat, motivo = rej
        c_uf = uf_do_pedido(pedido)
    if (pedido.regra or {}).get("sem_protocolo"):
        protocolo = None
    return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
            els(("tpAmb", pedido.tp_amb), ("cUF", c_uf), ("verAplic", f["ver_aplic"]),
                ("cStat", cstat), ("xMotivo", motivo)) +
            (protocolo.xml() if protocolo else "") + "</%s>" % raiz_resposta)


# --- inutilização ------------------------------------------------------------------------------

def inutilizacao(pedido, rej, contexto):
    familia = pedido.familia
    f = FAMILIAS[familia]
    memoria = contexto.memoria
    raiz_resposta = "retInutNFe" if familia == "nfe" else "retInutCTe"
    letra = "NF" if familia == "nfe" else "CT"
    inf = filho(pedido.raiz, "infInut", familia) if pedido.raiz is not None else None
    campos = {}
    if inf is not None:
        for nome in ("cUF", "ano", "CNPJ", "mod", "serie", "n%sIni" % letra, "n%sFin" % letra):
            campos[nome] = texto(inf, nome, familia)
    faixa = None
    if rej is None:
        # ID + state, (year,) issuer, model, series, first and last number: 39 characters
        # for the CT-e, 41 for the NF-e.
        if inf is None or not re.fullmatch(r"ID[0-9A-Z]{39}([0-9]{2})?", inf.get("Id", "")):
            raise rejeicao_schema(pedido.servico)
        faixa = faixa_pedida(familia, campos, letra)
        if faixa is None:
            raise rejeicao_schema(pedido.servico)
        erro, _digest = verificar_assinatura(contexto, pedido.documento, familia, "infInut")
        rej = erro or pedido.desvio()
    c_uf = uf_do_pedido(pedido, campos.get("cUF"))
    n_prot = None
    if rej is None:
        # Look-up and record under one lock: the same range twice at once is voided once.
        with memoria.trava:
            rej = faixa_ocupada(memoria, faixa)
            if rej is None:
                n_prot = memoria.numero(c_uf)
                memoria.inutilizacoes.append(replace(faixa, n_prot=n_prot))
    cabeca = els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]))
    if rej:
        cstat, motivo = rej
        detalhe = els(("dhRecbto", agora())) if familia == "nfe" else ""
        return ('<%s xmlns="%s" versao="%s"><infInut>' % (raiz_resposta, NS[familia], f["versao"]) +
                cabeca + els(("cStat", cstat), ("xMotivo", motivo), ("cUF", c_uf)) + detalhe +
                "</infInut></%s>" % raiz_resposta)
    valores = (cabeca +
               els(("cStat", "102"), ("xMotivo", "Inutilizacao de numero homologado"), ("cUF", c_uf)) +
               els(*((nome, campos[nome]) for nome in list(campos)[1:])) +
               els(("dhRecbto", agora()), ("nProt", n_prot)))
    if contexto.autoridade is None:
        return ('<%s xmlns="%s" versao="%s"><infInut>%s</infInut></%s>'
                % (raiz_resposta, NS[familia], f["versao"], valores, raiz_resposta))
    # Signed by the authority, as the protocols: the answer is the receipt of the voided range.
    return assinado_pela_autoridade(contexto.autoridade, raiz_resposta, f["versao"], NS[familia],
                                    "infInut", "ID" + n_prot, valores)


def faixa_pedida(familia, campos, letra):
    """The range a request voids, or None when its numbers are not numbers."""
    numeros = (campos.get("serie"), campos.get("n%sIni" % letra), campos.get("n%sFin" % letra))
    if not all(re.fullmatch(r"[0-9]{1,9}", n or "") for n in numeros):
        return None
    serie, inicio, fim = (int(n) for n in numeros)
    return Faixa(familia, campos.get("cUF") or "", campos.get("CNPJ") or "", campos.get("mod") or "",
                 serie, inicio, fim, None)


def faixa_ocupada(memoria, faixa):
    """The rejection of a range that meets a voided range or a document of the run (use under
    `trava`), or None."""
    f = FAMILIAS[faixa.familia]
    mesma_serie = (faixa.familia, faixa.c_uf, faixa.cnpj, faixa.modelo, faixa.serie)
    for anterior in memoria.inutilizacoes:
        if (anterior.familia, anterior.c_uf, anterior.cnpj, anterior.modelo, anterior.serie) \
                != mesma_serie or anterior.fim < faixa.inicio or faixa.fim < anterior.inicio:
            continue
        if (anterior.inicio, anterior.fim) == (faixa.inicio, faixa.fim):
            return ("563", "Rejeicao: Ja existe pedido de Inutilizacao com a mesma faixa de "
                           "inutilizacao")
        return ("256", "Rejeicao: %s %s da faixa ja esta inutilizad%s na Base de dados da SEFAZ"
                % (f["um"].capitalize(), f["sigla"], f["o"]))
    for chave, documento in memoria.documentos.items():
        # Any document that took a number (authorised, denied, cancelled) used it up.
        if documento.protocolo.familia == faixa.familia and \
                (chave[:2], chave[6:20], chave[20:22]) == (faixa.c_uf, faixa.cnpj, faixa.modelo) and \
                int(chave[22:25]) == faixa.serie and faixa.inicio <= int(chave[25:34]) <= faixa.fim:
            return "241", "Rejeicao: Um numero da faixa ja foi utilizado"
    return None


# --- consultation of a document -------------------------------------------------------------

def consulta(pedido, rej, contexto):
    familia = pedido.familia
    f = FAMILIAS[familia]
    chave = texto(pedido.raiz, f["chave"], familia) or ""
    raiz_resposta = {"nfe": "retConsSitNFe", "cte": "retConsSitCTe", "mdfe": "retConsSitMDFe"}[familia]
    if rej is None and not re.fullmatch(CHAVE, chave):
        rej = ("215", "Rejeicao: Falha no schema XML")
    if rej is None:
        rej = pedido.desvio()
    documento, eventos = None, []
    if rej is None:
        with contexto.memoria.trava:
            documento = documento_da_familia(contexto.memoria, chave, familia)
            if documento is not None:
                eventos = list(documento.eventos)
    c_uf = uf_do_pedido(pedido, chave[:2])
    anexos = ""
    if rej:
        cstat, motivo = rej
    elif documento is None:
        cstat, motivo = "217", "Rejeicao: %s nao consta na base de dados da SEFAZ" % f["sigla"]
    else:
        cstat, motivo = situacao(documento)
        # The protocol, then each event bound to the document in the order it was registered,
        # as a proc of its own (a client cuts the correction letters out of it).
        anexos = documento.protocolo.xml() + "".join(eventos)
    cabeca = els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                 ("xMotivo", motivo), ("cUF", c_uf))
    if familia == "nfe":
        cabeca += els(("dhRecbto", agora()), ("chNFe", chave if len(chave) == 44 else "0" * 44))
    return ('<%s xmlns="%s" versao="%s">' % (raiz_resposta, NS[familia], f["versao"]) +
            cabeca + anexos + "</%s>" % raiz_resposta)


def situacao(documento):
    sigla = FAMILIAS[documento.protocolo.familia]["sigla"]
    artigo = FAMILIAS[documento.protocolo.familia]["artigo"]
    return {
        "autorizado": ("100", "Autorizado o uso %s %s" % (artigo, sigla)),
        "denegado": ("110", "Uso Denegado"),
        "cancelado": ("101", "Cancelamento de %s homologado" % sigla),
        "cancelado-fora-de-prazo": ("151", "Cancelamento de %s homologado fora de prazo" % sigla),
        "encerrado": ("132", "Encerramento de %s homologado" % sigla),
    }[documento.situacao]


def documento_da_familia(memoria, chave, familia):
    """The document of the key recorded in the run, when it is of the family (use under
    `trava`); a key of another family is unknown to the family's services."""
    documento = memoria.documentos.get(chave)
    return documento if documento is not None and documento.protocolo.familia == familia else None


# --- events -----------------------------------------------------------------------------------

# Codes under which an event is registered: with a protocol number, signed, remembered.
REGISTRADOS = ("135", "136", "155")
RET_EVENTO = {"nfe": ("retEvento", "1.00"), "cte": ("retEventoCTe", "4.00"),
              "mdfe": ("retEventoMDFe", "3.00")}
PROC_EVENTO = {"nfe": ("procEventoNFe", "1.00"), "cte": ("procEventoCTe", "4.00"),
               "mdfe": ("procEventoMDFe", "3.00")}


def registrar_evento(pedido, familia, dados, contexto):
    """One signed event -> (its answer element, tpAmb, cOrgao).  A registered event gets a
    protocol number and the authority's signature, is remembered (a second one with the same
    key, type and sequence is a duplicate) and, when linked, bound to its document."""
    f = FAMILIAS[familia]
    memoria = contexto.memoria
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
    erro, _digest = verificar_assinatura(contexto, dados, familia, "infEvento")
    if erro and erro[0] in ("215", "225"):
        raise Rejeicao(*erro)
    regra = pedido.regra or {}
    if regra.get("tpEvento") and tp_evento not in regra["tpEvento"]:
        regra = {}   # the row is for other event types: this one is answered as usual
    chave_evento = (chave, tp_evento, n_seq)
    n_prot = None
    # Decision, record, signature and binding under one lock: a consultation never sees a
    # cancelled document without its cancellation, nor two requests one registration twice.
    with memoria.trava:
        repetido = memoria.eventos.get(chave_evento)
        documento = documento_da_familia(memoria, chave, familia)
        desvio = pedido.desvio(regra)
        if erro:
            cstat, motivo = erro
        elif desvio and desvio[0] not in REGISTRADOS:
            cstat, motivo = desvio
        elif repetido:
            cstat, motivo = "573", "Rejeicao: Duplicidade de Evento"
        elif desvio:
            cstat, motivo = desvio
        else:
            cstat, motivo = recusa_pela_situacao(documento, familia, tp_evento) or (
                "135", "Evento registrado e vinculado a %s" % f["sigla"])
        if cstat in REGISTRADOS:
            # The national environment numbers its protocols with kind 8 and its code 91.
            n_prot = memoria.numero("91", "8") if org == "91" else memoria.numero(org or chave[:2])
            memoria.eventos[chave_evento] = n_prot
        campos = dict(tpAmb=tp_amb, verAplic=f["ver_aplic"], cOrgao=org, cStat=cstat,
                      xMotivo=motivo, chave=chave, tpEvento=tp_evento, xEvento=descricao,
                      nSeqEvento=n_seq, dhRegEvento=agora(), nProt=n_prot,
                      destinatario=destinatario(documento) if familia == "nfe" else None)
        retorno = ret_evento_xml(familia, campos, contexto.autoridade)
        if n_prot and documento is not None and cstat != "136":
            aplicar_evento(documento, familia, tp_evento, cstat, dados, retorno)
    return retorno, tp_amb, org


def recusa_pela_situacao(documento, familia, tp_evento):
    """The rejection an event gets from the state of its document, or None.  A document this
    run never saw is taken as authorised elsewhere, before the run."""
    if documento is None or documento.situacao in ("autorizado", "encerrado"):
        return None
    f = FAMILIAS[familia]
    if documento.situacao.startswith("cancelado") and tp_evento == "110111":
        return "218", "Rejeicao: %s ja esta cancelad%s na base de dados da SEFAZ" % (f["sigla"], f["o"])
    return "580", "Rejeicao: O evento exige %s %s autorizad%s" % (f["um"], f["sigla"], f["o"])


def destinatario(documento):
    """(CNPJDest or CPFDest, number) of an NF-e recorded in the run, as the NF-e event answers
    name it; None when unknown."""
    if documento is None:
        return None
    try:
        raiz = ET.fromstring(documento.texto)
    except ET.ParseError:
        return None
    for nome in ("CNPJ", "CPF"):
        valor = texto(raiz, "infNFe/dest/" + nome, "nfe")
        if valor:
            return nome + "Dest", valor
    return None


def aplicar_evento(documento, familia, tp_evento, cstat, dados, retorno):
    """Binds a registered event to its document (use under `trava`): cancellation and closing
    change what the consultations say about it, and every event is shown with it."""
    if tp_evento == "110111":
        documento.situacao = "cancelado-fora-de-prazo" if cstat == "155" else "cancelado"
    elif tp_evento == "110112" and familia == "mdfe":
        documento.situacao = "encerrado"
    proc, versao = PROC_EVENTO[familia]
    # As the services answer it: the event as it arrived and its signed result side by side,
    # the proc declaring its namespace so that it stands on its own once cut out.
    documento.eventos.append('<%s versao="%s" xmlns="%s">%s%s</%s>'
                             % (proc, versao, NS[familia], dados.decode("utf-8"), retorno, proc))


def ret_evento_xml(familia, c, assinante=None):
    """retEvento / retEventoCTe / retEventoMDFe: signed by the authority when it carries a
    protocol number, as a protocol is; a rejection has neither number, Id nor signature."""
    nome, versao = RET_EVENTO[familia]
    ordem = [("tpAmb", c["tpAmb"]), ("verAplic", c["verAplic"]), ("cOrgao", c["cOrgao"]),
             ("cStat", c["cStat"]), ("xMotivo", c["xMotivo"])]
    if c.get("chave"):
        ordem += [(FAMILIAS[familia]["chave"], c["chave"]), ("tpEvento", c["tpEvento"] or None),
                  ("xEvento", c["xEvento"]), ("nSeqEvento", c["nSeqEvento"] or None)]
    if c.get("destinatario"):
        ordem.append(c["destinatario"])
    if familia == "nfe" or c["nProt"]:
        # dhRegEvento is required in the NF-e answer, optional (and left out of rejections)
        # in the CT-e and MDF-e ones.
        ordem += [("dhRegEvento", c["dhRegEvento"]), ("nProt", c["nProt"])]
    campos = els(*ordem)
    if c["nProt"] and assinante is not None:
        return assinado_pela_autoridade(assinante, nome, versao, NS[familia], "infEvento",
                                        "ID" + c["nProt"], campos)
    return ('<%s versao="%s" xmlns="%s"><infEvento>%s</infEvento></%s>'
            % (nome, versao, NS[familia], campos, nome))


def evento_cte_mdfe(pedido, rej, contexto):
    familia = pedido.familia
    f = FAMILIAS[familia]
    if rej is None:
        retorno, _tp_amb, _org = registrar_evento(pedido, familia, pedido.documento, contexto)
        return retorno
    inf = filho(pedido.raiz, "infEvento", familia) if pedido.raiz is not None else None
    campos = dict(tpAmb=pedido.tp_amb, verAplic=f["ver_aplic"],
                  cOrgao=uf_do_pedido(pedido, texto(inf, "cOrgao", familia) if inf is not None
                                      else None),
                  cStat=rej[0], xMotivo=rej[1], chave=None, nProt=None)
    return ret_evento_xml(familia, campos)
