"""Small documents of each family, valid against the official schemas, for the simulator's tests:
an NF-e, a CT-e, a CT-e simplificado and an MDF-e of a given number, with an empty signature
template (apoio.assinar fills it in)."""

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
