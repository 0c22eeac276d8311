"""Documents as a calling application drops them (unsigned, one line, UTF-8), valid against the
official schemas once signed, for the tests, the demo and the measuring scripts.

    documentos_teste.py nfe NUMERO [ITENS] [MODELO] [CUF] [CNPJ]
                                                      an NF-e (55) or NFC-e (65) of the test company
                                                      (or of the company of CNPJ, alphanumeric too),
                                                      issued in RS or in the state of code CUF
    documentos_teste.py nfe-reforma NUMERO [ITENS]    an NF-e with the tax reform's groups (IBSCBS in each
                                                      item, IBSCBSTot and vNFTot), as NT 2025.002 lays out
    documentos_teste.py cte NUMERO                    a CT-e with a recipient
    documentos_teste.py cte-simplificado NUMERO       a CT-e without recipient (sent as simplified)
    documentos_teste.py mdfe NUMERO

The key goes to standard error, the document to standard output.
"""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "simulador"))

import documentos  # noqa: E402  (the simulator's documents of each family)
from simulacao.comum import els  # noqa: E402
from simulacao.sefaz import NS, digito_chave  # noqa: E402

ASSINATURA = re.compile(r"<Signature\b.*?</Signature>", re.S)


def sem_assinatura(texto):
    if isinstance(texto, bytes):
        texto = texto.decode("utf-8")
    return ASSINATURA.sub("", texto)


def ibs_cbs_do_item(base):
    """The item's IBS and CBS at the test rates of 2026 (state IBS 0.1%, municipal 0%, CBS 0.9%)."""
    uf, cbs = round(base * 0.001, 2), round(base * 0.009, 2)
    return ("<IBSCBS>" + els(("CST", "000"), ("cClassTrib", "000001")) + "<gIBSCBS>" +
            els(("vBC", "%.2f" % base)) + "<gIBSUF>" + els(("pIBSUF", "0.1000"), ("vIBSUF", "%.2f" % uf)) +
            "</gIBSUF><gIBSMun>" + els(("pIBSMun", "0.0000"), ("vIBSMun", "0.00")) + "</gIBSMun>" +
            els(("vIBS", "%.2f" % uf)) + "<gCBS>" + els(("pCBS", "0.9000"), ("vCBS", "%.2f" % cbs)) +
            "</gCBS></gIBSCBS></IBSCBS>"), uf, cbs


def ibs_cbs_total(base, ibs, cbs, vnf):
    zeros = (("vDif", "0.00"), ("vDevTrib", "0.00"))
    creditos = (("vCredPres", "0.00"), ("vCredPresCondSus", "0.00"))
    return ("<IBSCBSTot>" + els(("vBCIBSCBS", "%.2f" % base)) + "<gIBS><gIBSUF>" +
            els(*zeros, ("vIBSUF", "%.2f" % ibs)) + "</gIBSUF><gIBSMun>" + els(*zeros, ("vIBSMun", "0.00")) +
            "</gIBSMun>" + els(("vIBS", "%.2f" % ibs), *creditos) + "</gIBS><gCBS>" +
            els(*zeros, ("vCBS", "%.2f" % cbs), *creditos) + "</gCBS></IBSCBSTot>" +
            els(("vNFTot", "%.2f" % (vnf + ibs + cbs))))


def nfe(numero, itens=1, modelo="55", uf="43", cnpj=documentos.CNPJ, reforma=False):
    """The test company's NF-e (or NFC-e) with a number of items, in homologation; with the tax
    reform's IBS and CBS groups when asked."""
    base = "%s2612%s%s001%09d1%08d" % (uf, cnpj, modelo, numero, numero)
    chave = base + digito_chave(base)
    nfc = modelo == "65"
    ide = els(("cUF", uf), ("cNF", chave[35:43]), ("natOp", "VENDA DE MERCADORIA"), ("mod", modelo),
              ("serie", "1"), ("nNF", str(numero)), ("dhEmi", documentos.EMISSAO), ("tpNF", "1"),
              ("idDest", "1"), ("cMunFG", "4314902"), ("tpImp", "4" if nfc else "1"), ("tpEmis", "1"),
              ("cDV", chave[43]), ("tpAmb", "2"), ("finNFe", "1"), ("indFinal", "1"), ("indPres", "1"),
              ("procEmi", "0"), ("verProc", "TESTE 1.0"))
    endereco = els(("xLgr", "RUA DAS FLORES"), ("nro", "100"), ("xBairro", "CENTRO"), ("cMun", "4314902"),
                   ("xMun", "PORTO ALEGRE"), ("UF", "RS"), ("CEP", "90000000"))
    emit = (els(("CNPJ", cnpj), ("xNome", "EMPRESA DEMONSTRAÇÃO LTDA"), ("xFant", "DEMONSTRAÇÃO")) +
            "<enderEmit>" + endereco + "</enderEmit>" + els(("IE", "0960000000"), ("CRT", "1")))
    dest = "" if nfc else (
        "<dest>" + els(("CNPJ", "98765432000110"),
                       ("xNome", "NF-E EMITIDA EM AMBIENTE DE HOMOLOGACAO - SEM VALOR FISCAL")) +
        "<enderDest>" + endereco + "</enderDest>" + els(("indIEDest", "9"), ("email", "cliente@exemplo.com.br")) +
        "</dest>")
    det = ""
    ibs = cbs = 0.0
    for i in range(1, itens + 1):
        prod = els(("cProd", "COD%d" % i), ("cEAN", "SEM GTIN"),
                   ("xProd", "PRODUTO DE DEMONSTRAÇÃO NÚMERO %d" % i), ("NCM", "94036000"), ("CFOP", "5102"),
                   ("uCom", "UN"), ("qCom", "2.0000"), ("vUnCom", "10.50"), ("vProd", "21.00"),
                   ("cEANTrib", "SEM GTIN"), ("uTrib", "UN"), ("qTrib", "2.0000"), ("vUnTrib", "10.50"),
                   ("indTot", "1"))
        imposto = ("<ICMS><ICMSSN102>" + els(("orig", "0"), ("CSOSN", "102")) + "</ICMSSN102></ICMS>"
                   "<PIS><PISNT><CST>07</CST></PISNT></PIS><COFINS><COFINSNT><CST>07</CST></COFINSNT></COFINS>")
        if reforma:
            grupo, ibs_item, cbs_item = ibs_cbs_do_item(21.0)
            imposto += grupo
            ibs, cbs = ibs + ibs_item, cbs + cbs_item
        det += '<det nItem="%d"><prod>%s</prod><imposto>%s</imposto></det>' % (i, prod, imposto)
    valor = "%.2f" % (21 * itens)
    zeros = ("vBC", "vICMS", "vICMSDeson", "vFCP", "vBCST", "vST", "vFCPST", "vFCPSTRet")
    total = (els(*((nome, "0.00") for nome in zeros)) + els(("vProd", valor)) +
             els(*((nome, "0.00") for nome in ("vFrete", "vSeg", "vDesc", "vII", "vIPI", "vIPIDevol",
                                               "vPIS", "vCOFINS", "vOutro"))) + els(("vNF", valor)))
    reformados = ibs_cbs_total(21.0 * itens, ibs, cbs, 21.0 * itens) if reforma else ""
    inf = ('<infNFe versao="4.00" Id="NFe%s"><ide>%s</ide><emit>%s</emit>%s%s'
           '<total><ICMSTot>%s</ICMSTot>%s</total><transp><modFrete>9</modFrete></transp>'
           '<pag><detPag><tPag>01</tPag><vPag>%s</vPag></detPag></pag></infNFe>'
           % (chave, ide, emit, dest, det, total, reformados, valor))
    return chave, '<NFe xmlns="%s">%s</NFe>' % (NS["nfe"], inf)


def cte_com_destinatario(numero):
    """The simulator's CT-e, with the recipient a normal CT-e has (without one it goes as simplified)."""
    chave, texto = documentos.cte(numero)
    destinatario = ("<dest>" + els(("CNPJ", "98765432000110"), ("IE", "0960000001"),
                                   ("xNome", "CT-E EMITIDO EM AMBIENTE DE HOMOLOGACAO - SEM VALOR FISCAL")) +
                    "<enderDest>" + els(("xLgr", "RUA DAS FLORES"), ("nro", "100"), ("xBairro", "CENTRO"),
                                        ("cMun", "4314902"), ("xMun", "PORTO ALEGRE"), ("UF", "RS")) +
                    "</enderDest></dest>")
    return chave, sem_assinatura(texto).replace("<vPrest>", destinatario + "<vPrest>", 1)


def main(argv):
    tipo, numero = argv[1], int(argv[2])
    if tipo == "nfe":
        chave, texto = nfe(numero, int(argv[3]) if len(argv) > 3 else 1, argv[4] if len(argv) > 4 else "55",
                           argv[5] if len(argv) > 5 else "43", argv[6] if len(argv) > 6 else documentos.CNPJ)
    elif tipo == "nfe-reforma":
        chave, texto = nfe(numero, int(argv[3]) if len(argv) > 3 else 1, reforma=True)
    elif tipo == "cte":
        chave, texto = cte_com_destinatario(numero)
    elif tipo == "cte-simplificado":
        chave, texto = documentos.cte_simplificado(numero)
        texto = sem_assinatura(texto)
    elif tipo == "mdfe":
        chave, texto = documentos.mdfe(numero)
        texto = sem_assinatura(texto)
    else:
        sys.exit("tipo desconhecido: " + tipo)
    sys.stderr.write(chave + "\n")
    sys.stdout.write('<?xml version="1.0" encoding="UTF-8"?>' + texto)


if __name__ == "__main__":
    main(sys.argv)
