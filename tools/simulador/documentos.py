"""Small documents of each family, valid against the official schemas, for the simulator's tests:
an NF-e, a CT-e, a CT-e simplificado and an MDF-e of a given number, the events of each family
and the inutilização requests, with an empty signature template (apoio.assinar fills it in)."""

from simulacao.assinatura import modelo_assinatura
from simulacao.comum import els
from simulacao.distribuicao import modelo_nfe
from simulacao.sefaz import NS, digito_chave

CNPJ = "12345678000195"
EMISSAO = "2026-12-01T10:00:00-03:00"


def chave(modelo, numero, uf="43"):
    """Access key of the test issuer: state, 2612, CNPJ, model, series 1, number, type 1, code."""
    base = "%s2612%s%s001%09d1%08d" % (uf, CNPJ, modelo, numero, numero)
    return base + digito_chave(base)


def _endereco(nome_grupo):
    return ("<%s>" % nome_grupo +
            els(("xLgr", "RUA DO SIMULADOR"), ("nro", "100"), ("xBairro", "CENTRO"),
                ("cMun", "4314902"), ("xMun", "PORTO ALEGRE"), ("UF", "RS")) +
            "</%s>" % nome_grupo)


def _emitente():
    return ("<emit>" + els(("CNPJ", CNPJ), ("IE", "0960000000")) +
            els(("xNome", "EMITENTE DE TESTE LTDA")) + _endereco("enderEmit") + els(("CRT", "3")) +
            "</emit>")


def _ide_cte(k, tp_cte, simplificado):
    comum = [("cUF", k[:2]), ("cCT", k[35:43]), ("CFOP", "5353"), ("natOp", "PRESTACAO DE SERVICO"),
             ("mod", "57"), ("serie", "1"), ("nCT", str(int(k[25:34]))), ("dhEmi", EMISSAO),
             ("tpImp", "1"), ("tpEmis", "1"), ("cDV", k[43]), ("tpAmb", "2"), ("tpCTe", tp_cte),
             ("procEmi", "0"), ("verProc", "TESTE 1.0"), ("cMunEnv", "4314902"),
             ("xMunEnv", "PORTO ALEGRE"), ("UFEnv", "RS"), ("modal", "01"), ("tpServ", "0")]
    if simplificado:
        trecho = [("UFIni", "RS"), ("UFFim", "RS"), ("retira", "1")]
    else:
        trecho = [("cMunIni", "4314902"), ("xMunIni", "PORTO ALEGRE"), ("UFIni", "RS"),
                  ("cMunFim", "4314902"), ("xMunFim", "PORTO ALEGRE"), ("UFFim", "RS"),
                  ("retira", "1"), ("indIEToma", "9")]
    return "<ide>" + els(*(comum + trecho)) + ("" if simplificado else "<toma3><toma>0</toma></toma3>") + "</ide>"


_ICMS = "<imp><ICMS><ICMS45><CST>40</CST></ICMS45></ICMS></imp>"
_MODAL = '<infModal versaoModal="4.00"><rodo><RNTRC>12345678</RNTRC></rodo></infModal>'
_CARGA = ("<infCarga>" + els(("vCarga", "100.00"), ("proPred", "CARGA DE TESTE")) +
          "<infQ>" + els(("cUnid", "01"), ("tpMed", "PESO BRUTO"), ("qCarga", "10.0000")) +
          "</infQ></infCarga>")


def cte(numero):
    k = chave("57", numero)
    inf = ('<infCte Id="CTe%s" versao="4.00">' % k + _ide_cte(k, "0", False) + _emitente() +
           "<vPrest>" + els(("vTPrest", "100.00"), ("vRec", "100.00")) + "</vPrest>" + _ICMS +
           "<infCTeNorm>" + _CARGA + _MODAL + "</infCTeNorm></infCte>")
    return k, '<CTe xmlns="%s">%s%s</CTe>' % (NS["cte"], inf, modelo_assinatura("#CTe" + k))


def cte_simplificado(numero):
    k = chave("57", numero)
    tomador = ("<toma>" + els(("toma", "0"), ("indIEToma", "9"), ("CNPJ", "98765432000198"),
                             ("xNome", "TOMADOR DE TESTE LTDA")) + _endereco("enderToma") + "</toma>")
    detalhe = ('<det nItem="1">' +
               els(("cMunIni", "4314902"), ("xMunIni", "PORTO ALEGRE"), ("cMunFim", "4314902"),
                   ("xMunFim", "PORTO ALEGRE"), ("vPrest", "100.00"), ("vRec", "100.00")) +
               "<infNFe><chNFe>%s</chNFe></infNFe></det>" % chave("55", numero))
    # The simplified CT-e codes the kind of measure (01: gross weight) where the CT-e writes it out.
    carga = _CARGA.replace("<tpMed>PESO BRUTO</tpMed>", "<tpMed>01</tpMed>")
    inf = ('<infCte Id="CTe%s" versao="4.00">' % k + _ide_cte(k, "5", True) + _emitente() + tomador +
           carga + detalhe + _MODAL + _ICMS +
           "<total>" + els(("vTPrest", "100.00"), ("vTRec", "100.00")) + "</total></infCte>")
    return k, '<CTeSimp xmlns="%s">%s%s</CTeSimp>' % (NS["cte"], inf, modelo_assinatura("#CTe" + k))


def mdfe(numero):
    k = chave("58", numero)
    ide = els(("cUF", k[:2]), ("tpAmb", "2"), ("tpEmit", "2"), ("mod", "58"), ("serie", "1"),
              ("nMDF", str(numero)), ("cMDF", k[35:43]), ("cDV", k[43]), ("modal", "1"),
              ("dhEmi", EMISSAO), ("tpEmis", "1"), ("procEmi", "0"), ("verProc", "TESTE 1.0"),
              ("UFIni", "RS"), ("UFFim", "RS"))
    ide += "<infMunCarrega>" + els(("cMunCarrega", "4314902"), ("xMunCarrega", "PORTO ALEGRE")) + "</infMunCarrega>"
    emit = ("<emit>" + els(("CNPJ", CNPJ), ("IE", "0960000000"), ("xNome", "EMITENTE DE TESTE LTDA")) +
            _endereco("enderEmit") + "</emit>")
    modal = ('<infModal versaoModal="3.00"><rodo><veicTracao>' +
             els(("placa", "ABC1D23"), ("tara", "5000"), ("tpRod", "03"), ("tpCar", "02"), ("UF", "RS")) +
             "</veicTracao></rodo></infModal>")
    docs = ("<infDoc><infMunDescarga>" +
            els(("cMunDescarga", "4314902"), ("xMunDescarga", "PORTO ALEGRE")) +
            "<infNFe><chNFe>%s</chNFe></infNFe></infMunDescarga></infDoc>" % chave("55", numero))
    tot = "<tot>" + els(("qNFe", "1"), ("vCarga", "100.00"), ("cUnid", "01"), ("qCarga", "10.0000")) + "</tot>"
    inf = ('<infMDFe Id="MDFe%s" versao="3.00"><ide>%s</ide>%s%s%s%s</infMDFe>' % (k, ide, emit, modal, docs, tot))
    return k, '<MDFe xmlns="%s">%s%s</MDFe>' % (NS["mdfe"], inf, modelo_assinatura("#MDFe" + k))


def nfe(numero, modelo="55"):
    k = chave(modelo, numero)
    return k, modelo_nfe(k, "2").decode("utf-8")


# --- events -------------------------------------------------------------------------------------

EVENTO = "2026-12-02T10:00:00-03:00"
# The fixed texts the layouts require of a correction letter.
USO_CCE_NFE = ("A Carta de Correcao e disciplinada pelo paragrafo 1o-A do art. 7o do Convenio S/N, "
               "de 15 de dezembro de 1970 e pode ser utilizada para regularizacao de erro ocorrido "
               "na emissao de documento fiscal, desde que o erro nao esteja relacionado com: I - as "
               "variaveis que determinam o valor do imposto tais como: base de calculo, aliquota, "
               "diferenca de preco, quantidade, valor da operacao ou da prestacao; II - a correcao "
               "de dados cadastrais que implique mudanca do remetente ou do destinatario; III - a "
               "data de emissao ou de saida.")
USO_CCE_CTE = ("A Carta de Correcao e disciplinada pelo Art. 58-B do CONVENIO/SINIEF 06/89: Fica "
               "permitida a utilizacao de carta de correcao, para regularizacao de erro ocorrido na "
               "emissao de documentos fiscais relativos a prestacao de servico de transporte, desde "
               "que o erro nao esteja relacionado com: I - as variaveis que determinam o valor do "
               "imposto tais como: base de calculo, aliquota, diferenca de preco, quantidade, valor "
               "da prestacao;II - a correcao de dados cadastrais que implique mudanca do emitente, "
               "tomador, remetente ou do destinatario;III - a data de emissao ou de saida.")
MANIFESTACOES = {"210200": "Confirmacao da Operacao", "210210": "Ciencia da Operacao",
                 "210220": "Desconhecimento da Operacao", "210240": "Operacao nao Realizada"}


def evento(familia, chave_doc, tp_evento, detalhe, seq=1, orgao="43", cnpj=CNPJ):
    """(Id, text) of an event of the family on a key, with the detail group given (see the
    functions below); the NF-e event is the one that goes, one or more, into envEvento."""
    raiz, versao, campo, versao_det = {
        "nfe": ("evento", "1.00", "chNFe", 'versao="1.00"'),
        "cte": ("eventoCTe", "4.00", "chCTe", 'versaoEvento="4.00"'),
        "mdfe": ("eventoMDFe", "3.00", "chMDFe", 'versaoEvento="3.00"'),
    }[familia]
    ident = "ID%s%s%0*d" % (tp_evento, chave_doc, 3 if familia == "cte" else 2, seq)
    inf = ('<infEvento Id="%s">' % ident +
           els(("cOrgao", orgao), ("tpAmb", "2"), ("CNPJ", cnpj), (campo, chave_doc),
               ("dhEvento", EVENTO), ("tpEvento", tp_evento), ("nSeqEvento", str(seq))) +
           (els(("verEvento", "1.00")) if familia == "nfe" else "") +
           "<detEvento %s>%s</detEvento></infEvento>" % (versao_det, detalhe))
    return ident, ('<%s xmlns="%s" versao="%s">%s%s</%s>'
                   % (raiz, NS[familia], versao, inf, modelo_assinatura("#" + ident), raiz))


def cancelamento(familia, n_prot, justificativa="CANCELAMENTO PARA TESTE DO SIMULADOR"):
    corpo = els(("descEvento", "Cancelamento"), ("nProt", n_prot), ("xJust", justificativa))
    return corpo if familia == "nfe" else "<evCanc%s>%s</evCanc%s>" % (_SIGLA[familia], corpo,
                                                                       _SIGLA[familia])


def carta_correcao(familia, correcao="DADOS ADICIONAIS CORRIGIDOS PARA TESTE"):
    if familia == "nfe":
        return els(("descEvento", "Carta de Correcao"), ("xCorrecao", correcao),
                   ("xCondUso", USO_CCE_NFE))
    return ("<evCCeCTe>" + els(("descEvento", "Carta de Correcao")) + "<infCorrecao>" +
            els(("grupoAlterado", "ide"), ("campoAlterado", "natOp"), ("valorAlterado", correcao)) +
            "</infCorrecao>" + els(("xCondUso", USO_CCE_CTE)) + "</evCCeCTe>")


def encerramento(n_prot, uf="43", municipio="4314902", data="2026-12-02"):
    return ("<evEncMDFe>" + els(("descEvento", "Encerramento"), ("nProt", n_prot), ("dtEnc", data),
                                ("cUF", uf), ("cMun", municipio)) + "</evEncMDFe>")


def manifestacao(tp_evento, justificativa="OPERACAO NAO REALIZADA CONFORME COMBINADO"):
    return els(("descEvento", MANIFESTACOES[tp_evento]),
               ("xJust", justificativa if tp_evento == "210240" else None))


def desacordo():
    return ("<evPrestDesacordo>" +
            els(("descEvento", "Prestacao do Servico em Desacordo"), ("indDesacordoOper", "1"),
                ("xObs", "Desconhecimento de Operacao")) + "</evPrestDesacordo>")


_SIGLA = {"cte": "CTe", "mdfe": "MDFe"}


# --- inutilização ---------------------------------------------------------------------------

def inutilizacao(familia, inicio, fim, serie=1, modelo=None, uf="43", ano="26", cnpj=CNPJ):
    """(Id, text) of the request voiding the numbers inicio..fim of a series: inutNFe 4.00
    (model 55 unless given) or inutCTe 4.00 (model 57)."""
    modelo = modelo or ("55" if familia == "nfe" else "57")
    letra, raiz = ("NF", "inutNFe") if familia == "nfe" else ("CT", "inutCTe")
    # The NF-e Id carries the year; the CT-e Id does not.
    ident = "ID%s%s%s%s%03d%09d%09d" % (uf, ano if familia == "nfe" else "", cnpj, modelo, serie,
                                        inicio, fim)
    inf = ('<infInut Id="%s">' % ident +
           els(("tpAmb", "2"), ("xServ", "INUTILIZAR"), ("cUF", uf), ("ano", ano), ("CNPJ", cnpj),
               ("mod", modelo), ("serie", str(serie)), ("n%sIni" % letra, str(inicio)),
               ("n%sFin" % letra, str(fim)),
               ("xJust", "NUMERACAO PULADA POR FALHA DO SISTEMA EMISSOR")) + "</infInut>")
    return ident, ('<%s xmlns="%s" versao="4.00">%s%s</%s>'
                   % (raiz, NS[familia], inf, modelo_assinatura("#" + ident), raiz))
