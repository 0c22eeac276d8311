"""Stored documents for the printout tests, as the archive holds them: procs with the authority's
protocol, valid against the official schemas (the signatures are well-formed placeholders; nothing
here checks them). The reference samples lack a CT-e 4.00 with every party, a simplified CT-e with
several deliveries, an MDF-e with many documents and the procs of events and inutilização.

    documentos_impressao.py cte NUMERO DOCUMENTOS [nfe|outros]   every party, the payer "Outro"
    documentos_impressao.py cte-simplificado NUMERO ENTREGAS CHAVES_POR_ENTREGA
    documentos_impressao.py mdfe NUMERO DOCUMENTOS MUNICIPIOS
    documentos_impressao.py evento nfe-cancelamento|nfe-cce|cte-cancelamento|cte-cce|mdfe-encerramento [GRUPOS]
    documentos_impressao.py inutilizacao nfe|cte

Options before the kind: --homologacao (tpAmb 2), --sem-protocolo (no protocol group),
--documento (the CT-e as a calling application drops it: no proc, QR group nor signature),
--cstat CODE (the status of the protocol, 100 by default), --tomador N (the CT-e's payer: 0 sender,
1 shipper, 2 receiver, 3 recipient, 4 another party, the default).
The key (or the event's document key) goes to standard error, the document to standard output.
"""

import sys
from xml.sax.saxutils import escape

NS = {"nfe": "http://www.portalfiscal.inf.br/nfe", "cte": "http://www.portalfiscal.inf.br/cte",
      "mdfe": "http://www.portalfiscal.inf.br/mdfe"}
CNPJ = "12345678000195"
EMISSAO = "2026-12-01T10:00:00-03:00"
RECEBIDO = "2026-12-01T10:00:05-03:00"
AMBIENTE = "1"
COM_PROTOCOLO = True
SO_DOCUMENTO = False
CSTAT = "100"
TOMADOR = "4"


def els(*pares):
    return "".join("<%s>%s</%s>" % (nome, escape(str(valor)), nome) for nome, valor in pares if valor is not None)


def digito(chave43):
    soma = sum(int(c) * (2 + i % 8) for i, c in enumerate(reversed(chave43)))
    resto = soma % 11
    return "0" if resto < 2 else str(11 - resto)


def chave(modelo, numero, cnpj=CNPJ, uf="43", serie=1):
    base = "%s2612%s%s%03d%09d1%08d" % (uf, cnpj, modelo, serie, numero, (numero * 7919) % 10 ** 8)
    return base + digito(base)


def assinatura(referencia):
    return ('<Signature xmlns="http://www.w3.org/2000/09/xmldsig#"><SignedInfo>'
            '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
            '<SignatureMethod Algorithm="http://www.w3.org/2000/09/xmldsig#rsa-sha1"/>'
            '<Reference URI="#%s"><Transforms>'
            '<Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/>'
            '<Transform Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/></Transforms>'
            '<DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/>'
            '<DigestValue>AAAAAAAAAAAAAAAAAAAAAAAAAAA=</DigestValue></Reference></SignedInfo>'
            '<SignatureValue>AAAA</SignatureValue><KeyInfo><X509Data><X509Certificate>AAAA</X509Certificate>'
            '</X509Data></KeyInfo></Signature>' % referencia)


def endereco(grupo, rua, numero, bairro, cidade, cmun, uf, cep, pais=True):
    return ("<%s>" % grupo + els(("xLgr", rua), ("nro", numero), ("xBairro", bairro), ("cMun", cmun),
                                 ("xMun", cidade), ("CEP", cep), ("UF", uf)) +
            (els(("cPais", "1058"), ("xPais", "BRASIL")) if pais else "") + "</%s>" % grupo)


def parte(grupo, grupo_end, cnpj, ie, nome, fone, cidade, cmun, uf, cep, rua, documento="CNPJ"):
    return ("<%s>" % grupo + els((documento, cnpj), ("IE", ie), ("xNome", nome), ("fone", fone)) +
            endereco(grupo_end, rua, "10", "BAIRRO " + cidade, cidade, cmun, uf, cep) + "</%s>" % grupo)


def emitente(tag_endereco="enderEmit", crt=True):
    return ("<emit>" + els(("CNPJ", CNPJ), ("IE", "0960000000"), ("xNome", "TRANSPORTES EMITENTE LTDA")) +
            "<%s>" % tag_endereco + els(("xLgr", "RUA DO TRANSPORTE"), ("nro", "500"), ("xBairro", "CENTRO"),
                                        ("cMun", "4314902"), ("xMun", "PORTO ALEGRE"), ("CEP", "90010000"),
                                        ("UF", "RS"), ("fone", "5133334444")) +
            "</%s>" % tag_endereco + (els(("CRT", "3")) if crt else "") + "</emit>")


def protocolo(familia, k, raiz, versao):
    cstat = CSTAT
    if not COM_PROTOCOLO:
        return ""
    campo = {"cte": "chCTe", "mdfe": "chMDFe"}[familia]
    return ('<%s versao="%s"><infProt Id="%s%s">' % (raiz, versao, familia.upper() if familia == "mdfe" else "CTe",
                                                     "143260000012345") +
            els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), (campo, k), ("dhRecbto", RECEBIDO),
                ("nProt", "143260000012345"), ("digVal", "AAAAAAAAAAAAAAAAAAAAAAAAAAA="), ("cStat", cstat),
                ("xMotivo", "Autorizado o uso")) + "</infProt></%s>" % raiz)


NOMES_MUNICIPIOS = ["PORTO ALEGRE", "CANOAS", "NOVO HAMBURGO", "SAO LEOPOLDO", "GRAVATAI", "CAXIAS DO SUL",
                    "PELOTAS", "SANTA MARIA", "LAJEADO", "ESTRELA", "PASSO FUNDO", "SANTA CRUZ DO SUL"]
CODIGOS_MUNICIPIOS = ["4314902", "4304606", "4313409", "4318705", "4309209", "4305108", "4314407", "4316907",
                      "4311403", "4307807", "4314100", "4316808"]


def chave_nfe(i):
    return chave("55", 1000 + i, cnpj="98765432000110")


def cte(numero, documentos, tipo_doc="nfe"):
    k = chave("57", numero)
    ide = els(("cUF", "43"), ("cCT", k[35:43]), ("CFOP", "6353"),
              ("natOp", "PRESTACAO DE SERVICO DE TRANSPORTE INTERESTADUAL DE CARGA RS"), ("mod", "57"),
              ("serie", "1"), ("nCT", numero), ("dhEmi", EMISSAO), ("tpImp", "1"), ("tpEmis", "1"),
              ("cDV", k[43]), ("tpAmb", AMBIENTE), ("tpCTe", "0"), ("procEmi", "0"), ("verProc", "TESTE 1.0"),
              ("cMunEnv", "4314902"), ("xMunEnv", "PORTO ALEGRE"), ("UFEnv", "RS"), ("modal", "01"),
              ("tpServ", "0"), ("cMunIni", "4314902"), ("xMunIni", "PORTO ALEGRE"), ("UFIni", "RS"),
              ("cMunFim", "4205407"), ("xMunFim", "FLORIANOPOLIS"), ("UFFim", "SC"), ("retira", "1"),
              ("indIEToma", "1"))
    toma4 = ("<toma4>" + els(("toma", "4"), ("CNPJ", "55666777000188"), ("IE", "1234567890"),
                             ("xNome", "TOMADOR OUTRO DO SERVICO SA"), ("fone", "4833221100")) +
             endereco("enderToma", "AVENIDA DO TOMADOR", "77", "BAIRRO DO TOMADOR", "JOINVILLE", "4209102", "SC",
                      "89201000") + "</toma4>")
    if TOMADOR != "4":
        toma4 = "<toma3>" + els(("toma", TOMADOR)) + "</toma3>"
    compl = ("<compl>" + els(("xObs", "OBSERVACAO GERAL DO CONHECIMENTO DE TRANSPORTE; CARGA FRAGIL")) +
             '<ObsCont xCampo="RESPSEG"><xTexto>EMITENTE</xTexto></ObsCont>'
             '<ObsCont xCampo="NOMESEG"><xTexto>SEGURADORA DE TESTE SA</xTexto></ObsCont>'
             '<ObsCont xCampo="NROAPOLICE"><xTexto>APOLICE-778899</xTexto></ObsCont></compl>')
    partes = (parte("rem", "enderReme", "11222333000181", "111111111", "REMETENTE DA CARGA LTDA", "5133001100",
                    "CANOAS", "4304606", "RS", "92010000", "RUA DO REMETENTE") +
              parte("exped", "enderExped", "22333444000172", "222222222", "EXPEDIDOR DA CARGA LTDA", "5133002200",
                    "GRAVATAI", "4309209", "RS", "94010000", "RUA DO EXPEDIDOR") +
              parte("receb", "enderReceb", "33444555000163", "333333333", "RECEBEDOR DA CARGA LTDA", "4833003300",
                    "SAO JOSE", "4216602", "SC", "88101000", "RUA DO RECEBEDOR") +
              parte("dest", "enderDest", "12345678909", None, "DESTINATARIO PESSOA FISICA", "4833004400",
                    "FLORIANOPOLIS", "4205407", "SC", "88010000", "RUA DO DESTINATARIO", documento="CPF"))
    componentes = "".join("<Comp>" + els(("xNome", nome), ("vComp", valor)) + "</Comp>" for nome, valor in
                          (("FRETE PESO", "1500.00"), ("PEDAGIO", "85.50"), ("GRIS", "30.00"),
                           ("SEC CAT", "20.00")))
    vprest = "<vPrest>" + els(("vTPrest", "1635.50"), ("vRec", "1635.50")) + componentes + "</vPrest>"
    imp = ("<imp><ICMS><ICMS00>" + els(("CST", "00"), ("vBC", "1635.50"), ("pICMS", "12.00"), ("vICMS", "196.26")) +
           "</ICMS00></ICMS></imp>")
    carga = ("<infCarga>" + els(("vCarga", "85432.10"), ("proPred", "MOVEIS DE MADEIRA"),
                                ("xOutCat", "CARGA PALETIZADA")) +
             "<infQ>" + els(("cUnid", "01"), ("tpMed", "PESO BRUTO"), ("qCarga", "12500.5000")) + "</infQ>"
             "<infQ>" + els(("cUnid", "03"), ("tpMed", "VOLUMES"), ("qCarga", "340.0000")) + "</infQ>"
             "<infQ>" + els(("cUnid", "00"), ("tpMed", "CUBAGEM"), ("qCarga", "45.2500")) + "</infQ></infCarga>")
    if tipo_doc == "nfe":
        docs = "".join("<infNFe>" + els(("chave", chave_nfe(i))) + "</infNFe>" for i in range(1, documentos + 1))
    else:
        docs = "".join("<infOutros>" + els(("tpDoc", "99"), ("descOutros", "DECLARACAO"), ("nDoc", "DCL%04d" % i),
                                           ("dEmi", "2026-11-%02d" % (1 + i % 28)), ("vDocFisc", "%d.50" % (100 * i)))
                       + "</infOutros>" for i in range(1, documentos + 1))
    norm = ("<infCTeNorm>" + carga + "<infDoc>" + docs + "</infDoc>" +
            '<infModal versaoModal="4.00"><rodo>' + els(("RNTRC", "87654321")) + "</rodo></infModal></infCTeNorm>")
    inf = ('<infCte versao="4.00" Id="CTe%s"><ide>%s%s</ide>%s%s%s%s%s%s</infCte>'
           % (k, ide, toma4, compl, emitente(), partes, vprest, imp, norm))
    qr = ("<infCTeSupl><qrCodCTe><![CDATA[https://dfe-portal.svrs.rs.gov.br/cte/qrCode?chCTe=%s&tpAmb=%s]]>"
          "</qrCodCTe></infCTeSupl>" % (k, AMBIENTE))
    if SO_DOCUMENTO:
        return k, '<CTe xmlns="%s">%s</CTe>' % (NS["cte"], inf)
    documento = '<CTe xmlns="%s">%s%s%s</CTe>' % (NS["cte"], inf, qr, assinatura("CTe" + k))
    return k, ('<cteProc xmlns="%s" versao="4.00">%s%s</cteProc>'
               % (NS["cte"], documento, protocolo("cte", k, "protCTe", "4.00")))


def cte_simplificado(numero, entregas, chaves_por_entrega):
    k = chave("57", numero)
    ide = els(("cUF", "43"), ("cCT", k[35:43]), ("CFOP", "5353"), ("natOp", "PRESTACAO DE SERVICO"), ("mod", "57"),
              ("serie", "1"), ("nCT", numero), ("dhEmi", EMISSAO), ("tpImp", "1"), ("tpEmis", "1"), ("cDV", k[43]),
              ("tpAmb", AMBIENTE), ("tpCTe", "5"), ("procEmi", "0"), ("verProc", "TESTE 1.0"),
              ("cMunEnv", "4314902"), ("xMunEnv", "PORTO ALEGRE"), ("UFEnv", "RS"), ("modal", "01"),
              ("tpServ", "0"), ("UFIni", "RS"), ("UFFim", "RS"), ("retira", "1"))
    toma = ("<toma>" + els(("toma", "0"), ("indIEToma", "1"), ("CNPJ", "98765432000198"), ("IE", "0960000009"),
                           ("xNome", "TOMADOR SIMPLIFICADO LTDA"), ("fone", "5133445566")) +
            endereco("enderToma", "RUA DO TOMADOR", "9", "CENTRO", "PORTO ALEGRE", "4314902", "RS", "90020000") +
            "</toma>")
    carga = ("<infCarga>" + els(("vCarga", "45000.00"), ("proPred", "ELETRODOMESTICOS")) +
             "<infQ>" + els(("cUnid", "01"), ("tpMed", "02"), ("qCarga", "3200.0000")) + "</infQ>"
             "<infQ>" + els(("cUnid", "03"), ("tpMed", "07"), ("qCarga", "120.0000")) + "</infQ></infCarga>")
    dets = ""
    total = 0
    n = 0
    for e in range(1, entregas + 1):
        municipio = (e - 1) % len(NOMES_MUNICIPIOS)
        valor = 100 + e
        total += valor
        chaves = ""
        for _ in range(chaves_por_entrega):
            n += 1
            chaves += "<infNFe>" + els(("chNFe", chave_nfe(n))) + "</infNFe>"
        dets += ('<det nItem="%d">' % e +
                 els(("cMunIni", "4314902"), ("xMunIni", "PORTO ALEGRE"), ("cMunFim", CODIGOS_MUNICIPIOS[municipio]),
                     ("xMunFim", NOMES_MUNICIPIOS[municipio]), ("vPrest", "%d.00" % valor), ("vRec", "%d.00" % valor)) +
                 "<Comp>" + els(("xNome", "FRETE"), ("vComp", "%d.00" % (valor - 10))) + "</Comp>"
                 "<Comp>" + els(("xNome", "PEDAGIO"), ("vComp", "10.00")) + "</Comp>" + chaves + "</det>")
    modal = '<infModal versaoModal="4.00"><rodo>' + els(("RNTRC", "87654321")) + "</rodo></infModal>"
    imp = ("<imp><ICMS><ICMS45>" + els(("CST", "40")) + "</ICMS45></ICMS></imp>")
    inf = ('<infCte versao="4.00" Id="CTe%s"><ide>%s</ide>%s%s%s%s%s%s<total>%s</total></infCte>'
           % (k, ide, emitente(), toma, carga, dets, modal, imp,
              els(("vTPrest", "%d.00" % total), ("vTRec", "%d.00" % total))))
    qr = ("<infCTeSupl><qrCodCTe><![CDATA[https://dfe-portal.svrs.rs.gov.br/cte/qrCode?chCTe=%s&tpAmb=%s]]>"
          "</qrCodCTe></infCTeSupl>" % (k, AMBIENTE))
    documento = '<CTeSimp xmlns="%s">%s%s%s</CTeSimp>' % (NS["cte"], inf, qr, assinatura("CTe" + k))
    return k, ('<cteProcSimp xmlns="%s" versao="4.00">%s%s</cteProcSimp>'
               % (NS["cte"], documento, protocolo("cte", k, "protCTe", "4.00")))


def mdfe(numero, documentos, municipios):
    k = chave("58", numero)
    ide = els(("cUF", "43"), ("tpAmb", AMBIENTE), ("tpEmit", "1"), ("mod", "58"), ("serie", "1"), ("nMDF", numero),
              ("cMDF", k[35:43]), ("cDV", k[43]), ("modal", "1"), ("dhEmi", EMISSAO), ("tpEmis", "1"),
              ("procEmi", "0"), ("verProc", "TESTE 1.0"), ("UFIni", "RS"), ("UFFim", "SC"))
    ide += ("<infMunCarrega>" + els(("cMunCarrega", "4314902"), ("xMunCarrega", "PORTO ALEGRE")) +
            "</infMunCarrega><infPercurso><UFPer>SC</UFPer></infPercurso>")
    emit = ("<emit>" + els(("CNPJ", CNPJ), ("IE", "0960000000"), ("xNome", "TRANSPORTES EMITENTE LTDA")) +
            "<enderEmit>" + els(("xLgr", "RUA DO TRANSPORTE"), ("nro", "500"), ("xBairro", "CENTRO"),
                                ("cMun", "4314902"), ("xMun", "PORTO ALEGRE"), ("CEP", "90010000"), ("UF", "RS"),
                                ("fone", "5133334444")) + "</enderEmit></emit>")
    prop = ("<prop>" + els(("CNPJ", "07944172000162"), ("RNTRC", "08405753"), ("xNome", "PROPRIETARIO LTDA"),
                           ("IE", "255169817"), ("UF", "SC"), ("tpProp", "0")) + "</prop>")
    rodo = ("<rodo><infANTT>" + els(("RNTRC", "87654321")) +
            "<infCIOT>" + els(("CIOT", "123456789012"), ("CNPJ", CNPJ)) + "</infCIOT>"
            "<valePed><disp>" + els(("CNPJForn", "44555666000177"), ("CNPJPg", CNPJ), ("nCompra", "VP0001234"),
                                    ("vValePed", "150.75")) + "</disp></valePed></infANTT>"
            "<veicTracao>" + els(("cInt", "1"), ("placa", "ABC1D23"), ("RENAVAM", "12345678901"), ("tara", "8000"),
                                 ("capKG", "25000")) + prop +
            "<condutor>" + els(("xNome", "JOAO DA SILVA MOTORISTA"), ("CPF", "11144477735")) + "</condutor>"
            "<condutor>" + els(("xNome", "PEDRO SOUZA AUXILIAR"), ("CPF", "22255588846")) + "</condutor>" +
            els(("tpRod", "03"), ("tpCar", "02"), ("UF", "RS")) + "</veicTracao>"
            "<veicReboque>" + els(("cInt", "2"), ("placa", "DEF4G56"), ("tara", "5000"), ("capKG", "30000")) + prop +
            els(("tpCar", "02"), ("UF", "PR")) + "</veicReboque>"
            "<veicReboque>" + els(("cInt", "3"), ("placa", "HIJ7K89"), ("tara", "5000"), ("capKG", "30000")) +
            els(("tpCar", "02"), ("UF", "SC")) + "</veicReboque></rodo>")
    docs = ""
    n = 0
    por_municipio = [documentos // municipios + (1 if m < documentos % municipios else 0) for m in range(municipios)]
    qcte = qnfe = 0
    for m in range(municipios):
        docs += "<infMunDescarga>" + els(("cMunDescarga", CODIGOS_MUNICIPIOS[m % len(CODIGOS_MUNICIPIOS)]),
                                         ("xMunDescarga", NOMES_MUNICIPIOS[m % len(NOMES_MUNICIPIOS)]))
        ctes = nfes = ""
        for _ in range(por_municipio[m]):
            n += 1
            if n % 3 == 0:
                ctes += "<infCTe>" + els(("chCTe", chave("57", 5000 + n))) + "</infCTe>"
                qcte += 1
            else:
                nfes += "<infNFe>" + els(("chNFe", chave_nfe(n))) + "</infNFe>"
                qnfe += 1
        docs += ctes + nfes + "</infMunDescarga>"
    seg = ("<seg><infResp>" + els(("respSeg", "1"), ("CNPJ", CNPJ)) + "</infResp><infSeg>" +
           els(("xSeg", "SEGURADORA DE TESTE SA"), ("CNPJ", "66777888000199")) + "</infSeg>" +
           els(("nApol", "APOLICE-12345"), ("nAver", "AVERB-000000001")) + "</seg>")
    tot = "<tot>" + els(("qCTe", qcte if qcte else None), ("qNFe", qnfe if qnfe else None),
                        ("vCarga", "123456.78"), ("cUnid", "01"), ("qCarga", "18250.5000")) + "</tot>"
    adic = ("<infAdic>" + els(("infAdFisco", "INFORMACAO DE INTERESSE DO FISCO"),
                              ("infCpl", "CARGA COM DESTINO A %d MUNICIPIOS; ENTREGAR EM HORARIO COMERCIAL" % municipios))
            + "</infAdic>")
    inf = ('<infMDFe versao="3.00" Id="MDFe%s"><ide>%s</ide>%s<infModal versaoModal="3.00">%s</infModal>'
           '<infDoc>%s</infDoc>%s%s%s</infMDFe>' % (k, ide, emit, rodo, docs, seg, tot, adic))
    qr = ("<infMDFeSupl><qrCodMDFe><![CDATA[https://dfe-portal.svrs.rs.gov.br/mdfe/qrCode?chMDFe=%s&tpAmb=%s]]>"
          "</qrCodMDFe></infMDFeSupl>" % (k, AMBIENTE))
    documento = '<MDFe xmlns="%s">%s%s%s</MDFe>' % (NS["mdfe"], inf, qr, assinatura("MDFe" + k))
    return k, ('<mdfeProc xmlns="%s" versao="3.00">%s%s</mdfeProc>'
               % (NS["mdfe"], documento, protocolo("mdfe", k, "protMDFe", "3.00")))


USO_CCE = ("A Carta de Correcao e disciplinada pelo paragrafo 1o-A do art. 7o do Convenio S/N, de 15 de dezembro "
           "de 1970 e pode ser utilizada para regularizacao de erro ocorrido na emissao de documento fiscal, desde que "
           "o erro nao esteja relacionado com: I - as variaveis que determinam o valor do imposto tais como: base de "
           "calculo, aliquota, diferenca de preco, quantidade, valor da operacao ou da prestacao; II - a correcao de "
           "dados cadastrais que implique mudanca do remetente ou do destinatario; III - a data de emissao ou de saida.")
EVENTO = "2026-12-02T11:22:33-03:00"
REGISTRO = "2026-12-02T11:22:40-03:00"


def evento(tipo, grupos=2):
    familia, acao = tipo.split("-", 1)
    modelo = {"nfe": "55", "cte": "57", "mdfe": "58"}[familia]
    k = chave(modelo, 321)
    tp, detalhe, descricao = {
        "cancelamento": ("110111", None, "Cancelamento"),
        "cce": ("110110", None, "Carta de Correcao"),
        "encerramento": ("110112", None, "Encerramento"),
    }[acao]
    seq = 2 if acao == "cce" else 1
    if familia == "nfe":
        if acao == "cancelamento":
            corpo = els(("descEvento", "Cancelamento"), ("nProt", "143260000099999"),
                        ("xJust", "PEDIDO CANCELADO PELO CLIENTE ANTES DA SAIDA"))
        else:
            corpo = els(("descEvento", "Carta de Correcao"),
                        ("xCorrecao", "CORRIGE O ENDERECO DE ENTREGA PARA RUA DAS ACACIAS, 45"), ("xCondUso", USO_CCE))
        ident = "ID%s%s%02d" % (tp, k, seq)
        inf = ('<infEvento Id="%s">' % ident +
               els(("cOrgao", "43"), ("tpAmb", AMBIENTE), ("CNPJ", CNPJ), ("chNFe", k), ("dhEvento", EVENTO),
                   ("tpEvento", tp), ("nSeqEvento", seq), ("verEvento", "1.00")) +
               '<detEvento versao="1.00">%s</detEvento></infEvento>' % corpo)
        ret = ('<retEvento versao="1.00"><infEvento>' +
               els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), ("cOrgao", "43"), ("cStat", "135"),
                   ("xMotivo", "Evento registrado e vinculado a NF-e"), ("chNFe", k), ("tpEvento", tp),
                   ("xEvento", descricao), ("nSeqEvento", seq), ("dhRegEvento", REGISTRO),
                   ("nProt", "143260000077777")) + "</infEvento></retEvento>")
        return k, ('<procEventoNFe xmlns="%s" versao="1.00"><evento versao="1.00">%s%s</evento>%s</procEventoNFe>'
                   % (NS["nfe"], inf, assinatura(ident), ret))
    if familia == "cte":
        if acao == "cancelamento":
            corpo = ("<evCancCTe>" + els(("descEvento", "Cancelamento"), ("nProt", "143260000099999"),
                                         ("xJust", "CONHECIMENTO EMITIDO EM DUPLICIDADE")) + "</evCancCTe>")
        else:
            alteracoes = [("ide", "natOp", "PRESTACAO DE SERVICO CORRIGIDA"),
                          ("compl", "xObs", "ENTREGA SOMENTE PELA MANHA")]
            alteracoes += [("compl", "xObs", "LINHA DE CORRECAO NUMERO %d" % i) for i in range(3, grupos + 1)]
            corpo = ("<evCCeCTe>" + els(("descEvento", "Carta de Correcao")) +
                     "".join("<infCorrecao>" + els(("grupoAlterado", g), ("campoAlterado", c), ("valorAlterado", v))
                             + "</infCorrecao>" for g, c, v in alteracoes[:grupos]) +
                     els(("xCondUso", USO_CCE.replace("paragrafo 1o-A do art. 7o do Convenio S/N, de 15 de dezembro "
                                                      "de 1970", "Art. 58-B do CONVENIO/SINIEF 06/89"))) +
                     "</evCCeCTe>")
        ident = "ID%s%s%03d" % (tp, k, seq)
        inf = ('<infEvento Id="%s">' % ident +
               els(("cOrgao", "43"), ("tpAmb", AMBIENTE), ("CNPJ", CNPJ), ("chCTe", k), ("dhEvento", EVENTO),
                   ("tpEvento", tp), ("nSeqEvento", seq)) +
               '<detEvento versaoEvento="4.00">%s</detEvento></infEvento>' % corpo)
        ret = ('<retEventoCTe versao="4.00"><infEvento>' +
               els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), ("cOrgao", "43"), ("cStat", "135"),
                   ("xMotivo", "Evento registrado e vinculado a CT-e"), ("chCTe", k), ("tpEvento", tp),
                   ("xEvento", descricao), ("nSeqEvento", seq), ("dhRegEvento", REGISTRO),
                   ("nProt", "143260000077777")) + "</infEvento></retEventoCTe>")
        return k, ('<procEventoCTe xmlns="%s" versao="4.00"><eventoCTe versao="4.00">%s%s</eventoCTe>%s'
                   '</procEventoCTe>' % (NS["cte"], inf, assinatura(ident), ret))
    corpo = ("<evEncMDFe>" + els(("descEvento", "Encerramento"), ("nProt", "143260000099999"),
                                 ("dtEnc", "2026-12-02"), ("cUF", "42"), ("cMun", "4205407")) + "</evEncMDFe>")
    ident = "ID%s%s%03d" % (tp, k, seq)
    inf = ('<infEvento Id="%s">' % ident +
           els(("cOrgao", "43"), ("tpAmb", AMBIENTE), ("CNPJ", CNPJ), ("chMDFe", k), ("dhEvento", EVENTO),
               ("tpEvento", tp), ("nSeqEvento", seq)) +
           '<detEvento versaoEvento="3.00">%s</detEvento></infEvento>' % corpo)
    ret = ('<retEventoMDFe versao="3.00"><infEvento>' +
           els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), ("cOrgao", "43"), ("cStat", "135"),
               ("xMotivo", "Evento registrado e vinculado a MDF-e"), ("chMDFe", k), ("tpEvento", tp),
               ("xEvento", descricao), ("nSeqEvento", seq), ("dhRegEvento", REGISTRO),
               ("nProt", "143260000077777")) + "</infEvento></retEventoMDFe>")
    return k, ('<procEventoMDFe xmlns="%s" versao="3.00"><eventoMDFe versao="3.00">%s%s</eventoMDFe>%s'
               '</procEventoMDFe>' % (NS["mdfe"], inf, assinatura(ident), ret))


def inutilizacao(familia):
    if familia == "nfe":
        ident = "ID43%s%s55%03d%09d%09d" % ("26", CNPJ, 1, 10, 15)
        pedido = els(("tpAmb", AMBIENTE), ("xServ", "INUTILIZAR"), ("cUF", "43"), ("ano", "26"), ("CNPJ", CNPJ),
                     ("mod", "55"), ("serie", "1"), ("nNFIni", "10"), ("nNFFin", "15"),
                     ("xJust", "NUMERACAO PULADA POR FALHA DO SISTEMA EMISSOR"))
        ret = els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), ("cStat", "102"),
                  ("xMotivo", "Inutilizacao de numero homologado"), ("cUF", "43"), ("ano", "26"), ("CNPJ", CNPJ),
                  ("mod", "55"), ("serie", "1"), ("nNFIni", "10"), ("nNFFin", "15"), ("dhRecbto", REGISTRO),
                  ("nProt", "143260000055555"))
        return ident, ('<ProcInutNFe xmlns="%s" versao="4.00"><inutNFe versao="4.00"><infInut Id="%s">%s</infInut>%s'
                       '</inutNFe><retInutNFe versao="4.00"><infInut>%s</infInut></retInutNFe></ProcInutNFe>'
                       % (NS["nfe"], ident, pedido, assinatura(ident), ret))
    ident = "ID43%s57%03d%09d%09d" % (CNPJ, 1, 20, 22)
    pedido = els(("tpAmb", AMBIENTE), ("xServ", "INUTILIZAR"), ("cUF", "43"), ("ano", "26"), ("CNPJ", CNPJ),
                 ("mod", "57"), ("serie", "1"), ("nCTIni", "20"), ("nCTFin", "22"),
                 ("xJust", "NUMERACAO PULADA POR FALHA DO SISTEMA EMISSOR"))
    ret = els(("tpAmb", AMBIENTE), ("verAplic", "SIMULADOR"), ("cStat", "102"),
              ("xMotivo", "Inutilizacao de numero homologado"), ("cUF", "43"), ("ano", "26"), ("CNPJ", CNPJ),
              ("mod", "57"), ("serie", "1"), ("nCTIni", "20"), ("nCTFin", "22"), ("dhRecbto", REGISTRO),
              ("nProt", "143260000055555"))
    return ident, ('<procInutCTe xmlns="%s" versao="4.00"><inutCTe versao="4.00"><infInut Id="%s">%s</infInut>%s'
                   '</inutCTe><retInutCTe versao="4.00"><infInut>%s</infInut></retInutCTe></procInutCTe>'
                   % (NS["cte"], ident, pedido, assinatura(ident), ret))


def main(argv):
    global AMBIENTE, COM_PROTOCOLO, SO_DOCUMENTO, CSTAT, TOMADOR
    argv = list(argv[1:])
    while argv and argv[0].startswith("--"):
        opcao = argv.pop(0)
        if opcao == "--homologacao":
            AMBIENTE = "2"
        elif opcao == "--sem-protocolo":
            COM_PROTOCOLO = False
        elif opcao == "--documento":
            SO_DOCUMENTO = True
        elif opcao == "--cstat":
            CSTAT = argv.pop(0)
        elif opcao == "--tomador":
            TOMADOR = argv.pop(0)
        else:
            sys.exit("opção desconhecida: " + opcao)
    tipo = argv[0]
    if tipo == "cte":
        k, texto = cte(int(argv[1]), int(argv[2]), argv[3] if len(argv) > 3 else "nfe")
    elif tipo == "cte-simplificado":
        k, texto = cte_simplificado(int(argv[1]), int(argv[2]), int(argv[3]))
    elif tipo == "mdfe":
        k, texto = mdfe(int(argv[1]), int(argv[2]), int(argv[3]))
    elif tipo == "evento":
        k, texto = evento(argv[1], int(argv[2]) if len(argv) > 2 else 2)
    elif tipo == "inutilizacao":
        k, texto = inutilizacao(argv[1])
    else:
        sys.exit("tipo desconhecido: " + tipo)
    sys.stderr.write(k + "\n")
    sys.stdout.write('<?xml version="1.0" encoding="UTF-8"?>' + texto)


if __name__ == "__main__":
    main(sys.argv)
