"""Answers that the NF-e, CT-e and MDF-e services build alike: status, the outcome of one signed
document, synchronous authorization, inutilização, consultation of a key and events.

Every builder takes the request, the rejection found before it ran (cStat, xMotivo) or None, and
the run's context; it returns the answer element as text."""

import re
import xml.etree.ElementTree as ET

from .comum import agora, els, local, ns_de
from .memoria import Documento
from .sefaz import (CHAVE, FAMILIAS, NS, Protocolo, Rejeicao, filho, outra_chave, rejeicao_schema,
                    texto, uf_do_pedido, verificar_assinatura)


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
        erro, _digest = verificar_assinatura(contexto, pedido.documento, familia, "infInut")
        rej = erro or pedido.desvio()
    c_uf = uf_do_pedido(pedido, campos.get("cUF"))
    if rej:
        cstat, motivo = rej
        detalhe = els(("dhRecbto", agora())) if familia == "nfe" else ""
    else:
        cstat, motivo = "102", "Inutilizacao de numero homologado"
        detalhe = (els(*((nome, campos[nome]) for nome in list(campos)[1:])) +
                   els(("dhRecbto", agora()), ("nProt", contexto.memoria.numero(c_uf))))
    return ('<%s xmlns="%s" versao="%s"><infInut>' % (raiz_resposta, NS[familia], f["versao"]) +
            els(("tpAmb", pedido.tp_amb), ("verAplic", f["ver_aplic"]), ("cStat", cstat),
                ("xMotivo", motivo), ("cUF", c_uf)) +
            detalhe + "</infInut></%s>" % raiz_resposta)


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
    documento = None
    if rej is None:
        with contexto.memoria.trava:
            documento = contexto.memoria.documentos.get(chave)
    c_uf = uf_do_pedido(pedido, chave[:2])
    anexos = ""
    if rej:
        cstat, motivo = rej
    elif documento is None:
        cstat, motivo = "217", "Rejeicao: %s nao consta na base de dados da SEFAZ" % f["sigla"]
    else:
        cstat, motivo = situacao(documento)
        anexos = documento.protocolo.xml() + "".join(documento.eventos)
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
        "encerrado": ("132", "Encerramento de %s homologado" % sigla),
    }[documento.situacao]


# --- events -----------------------------------------------------------------------------------

def registrar_evento(pedido, familia, dados, contexto):
    """One signed event -> the fields of its retEvento."""
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
    chave_evento = (chave, tp_evento, n_seq)
    n_prot = None
    with memoria.trava:
        repetido = memoria.eventos.get(chave_evento)
        documento = memoria.documentos.get(chave)
        if erro:
            cstat, motivo = erro
        elif desvio := pedido.desvio():
            cstat, motivo = desvio
        elif repetido:
            cstat, motivo = "573", "Rejeicao: Duplicidade de evento [nProt:%s]" % repetido
        else:
            cstat = "135"
            motivo = "Evento registrado e vinculado a %s" % f["sigla"]
            n_prot = memoria.numero(org if org != "91" else chave[:2])
            memoria.eventos[chave_evento] = n_prot
    campos = dict(tpAmb=tp_amb, verAplic=f["ver_aplic"], cOrgao=org, cStat=cstat,
                  xMotivo=motivo, chave=chave, tpEvento=tp_evento, xEvento=descricao,
                  nSeqEvento=n_seq, dhRegEvento=agora(), nProt=n_prot)
    if n_prot and documento is not None:
        aplicar_evento(memoria, documento, familia, tp_evento, dados, campos)
    return campos


def aplicar_evento(memoria, documento, familia, tp_evento, dados, campos):
    """Cancellation and closing change what the consultations say about the document."""
    situacao_nova = {"110111": "cancelado", "110112": "encerrado"}.get(tp_evento)
    versao = "1.00" if familia == "nfe" else FAMILIAS[familia]["versao"]
    proc = {"nfe": "procEventoNFe", "cte": "procEventoCTe", "mdfe": "procEventoMDFe"}[familia]
    # As the services answer it: the event and its result side by side in the proc group.
    ret = ret_evento_xml(familia, campos, versao, "retEvento" if familia == "nfe"
                         else "retEvento" + FAMILIAS[familia]["doc"])
    with memoria.trava:
        if situacao_nova == "cancelado" or (situacao_nova == "encerrado" and familia == "mdfe"):
            documento.situacao = situacao_nova
        documento.eventos.append('<%s versao="%s">%s%s</%s>'
                                 % (proc, versao, dados.decode("utf-8"), ret, proc))


def ret_evento_xml(familia, c, versao, nome, xmlns=""):
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


def evento_cte_mdfe(pedido, rej, contexto):
    familia = pedido.familia
    f = FAMILIAS[familia]
    nome = "retEvento" + f["doc"]
    if rej is None:
        campos = registrar_evento(pedido, familia, pedido.documento, contexto)
    else:
        inf = filho(pedido.raiz, "infEvento", familia) if pedido.raiz is not None else None
        campos = dict(tpAmb=pedido.tp_amb, verAplic=f["ver_aplic"],
                      cOrgao=uf_do_pedido(pedido, texto(inf, "cOrgao", familia)),
                      cStat=rej[0], xMotivo=rej[1], chave=None, nProt=None)
    return ret_evento_xml(familia, campos, f["versao"], nome, xmlns=NS[familia])
